#include "tools/CommandContext.h"

#include "tools/ExitCodes.h"

#include <QRegularExpression>

namespace {

// Paragraphs cut into lines of at most 78 characters at blanks.
QString Wrapped(const QString &text)
{
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        QString line;
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > 78) {
                lines.append(line);
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines.append(line);
    }
    return lines.join(u'\n');
}

// Examples as shell command lines ("  $ lonctl ..."); help2man keeps such lines verbatim
// in the manual pages.
QString ExampleLines(const QString &examples)
{
    QStringList lines;
    for (const QString &line : examples.split(u'\n', Qt::SkipEmptyParts))
        lines.append(QStringLiteral("  $ ") + line.trimmed());
    return lines.join(u'\n');
}

} // namespace

TCommandContext::TCommandContext(const TCommandInfo &info)
    : Info(info)
{
    Parser.setApplicationDescription(info.Summary + QStringLiteral("\n\n") + Wrapped(info.Description)
                                     + (info.Examples.isEmpty() ? QString()
                                                                : QStringLiteral("\n\nExamples:\n") + ExampleLines(info.Examples)));
    Parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    Parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                      QStringLiteral("Show this help.")});
    Parser.addOption({QStringLiteral("json"),
                      QStringLiteral("Print the result as JSON (for scripts) instead of a table.")});
    Parser.addOption({QStringLiteral("fahrenheit"),
                      QStringLiteral("Temperatures in degrees Fahrenheit instead of Celsius.")});
    if (info.SiteCommand)
        AddSiteOptions(Parser, info.DefaultTimeoutSeconds);
    if (info.AddOptions)
        info.AddOptions(Parser);
    // The positional arguments, for the Arguments section of the help.
    for (const QString &name : info.Arguments.split(u' ', Qt::SkipEmptyParts))
        Parser.addPositionalArgument(name, QString(), name);
}

bool TCommandContext::Parse(const QStringList &arguments)
{
    // Negative numbers and the keyword -ON are values, not options: hide them from the
    // parser behind placeholders and put them back among the positional arguments.
    static const QRegularExpression valueLike(QStringLiteral("^-(\\d|[.,]\\d|on$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList prepared{QStringLiteral("lonctl")};
    FHidden.clear();
    for (const QString &argument : arguments) {
        if (valueLike.match(argument).hasMatch()) {
            prepared.append(QStringLiteral("\x01%1").arg(FHidden.size()));
            FHidden.append(argument);
        } else {
            prepared.append(argument);
        }
    }
    if (!Parser.parse(prepared))
        throw UsageError(Parser.errorText());
    if (Parser.isSet(QStringLiteral("help")))
        return false;

    Arguments = Parser.positionalArguments();
    for (QString &argument : Arguments)
        argument = Restored(argument);
    if (Arguments.size() < Info.MinArguments)
        throw UsageError(QStringLiteral("missing argument: %1 needs %2.")
                             .arg(Info.Name, Info.Arguments));
    if (Info.MaxArguments >= 0 && Arguments.size() > Info.MaxArguments)
        throw UsageError(QStringLiteral("too many arguments: %1 takes %2, got \"%3\".")
                             .arg(Info.Name,
                                  Info.Arguments.isEmpty() ? QStringLiteral("none") : Info.Arguments,
                                  Arguments.join(u' ')));
    Json = Parser.isSet(QStringLiteral("json"));
    Fahrenheit = Parser.isSet(QStringLiteral("fahrenheit"));
    if (Info.SiteCommand) {
        const TOptionValue value = [this](const QString &name) { return Option(name); };
        Site = ReadSiteOptions(Parser, value);
        TimeoutMs = ReadTimeoutMs(Parser, value, Info.DefaultTimeoutSeconds);
        Bus = ReadBusOptions(Parser);
    }
    return true;
}

QString TCommandContext::Restored(const QString &text) const
{
    if (!text.startsWith(u'\x01'))
        return text;
    bool ok = false;
    const int index = text.mid(1).toInt(&ok);
    return ok && index >= 0 && index < FHidden.size() ? FHidden.at(index) : text;
}

QString TCommandContext::HelpText() const
{
    QString text = Parser.helpText();
    // Qt writes the program path and "[options]" only; name the command instead.
    const qsizetype endOfUsage = text.indexOf(u'\n');
    QString usage = QStringLiteral("Usage: lonctl ") + Info.Name + QStringLiteral(" [options]");
    if (!Info.Arguments.isEmpty())
        usage += u' ' + Info.Arguments;
    text.replace(0, endOfUsage, usage);
    // The argument names are explained in the description; drop the empty Arguments list.
    const qsizetype arguments = text.indexOf(QStringLiteral("\nArguments:\n"));
    if (arguments >= 0)
        text.truncate(arguments + 1);
    return text;
}
