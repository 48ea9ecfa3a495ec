#include "tools/CommandTable.h"

namespace {

QList<TCommandInfo> BuildTable()
{
    QList<TCommandInfo> table;
    auto add = [&table](TCommandInfo info) { table.append(std::move(info)); };

    // Offline commands: the driver's own conversions, no driver needed.
    add({QStringLiteral("decode"), QStringLiteral("ADDRESS HEXBYTES"),
         QStringLiteral("Decode a point's value from the bytes of its network variable."),
         QStringLiteral("ADDRESS is a point address (domain:subnet:node:index:snvt:offset:type:"
                        "parameter[,scale[,D-object]]); HEXBYTES are the variable's bytes in hex, "
                        "e.g. \"08 66\" (several arguments are joined). Prints the value text "
                        "the driver would report, divided by the address's scale when it has one."),
         QStringLiteral("  lonctl decode 0:1:10:1:105:0:3:105 \"08 66\"\n"
                        "  lonctl decode 0:1:1:0:0:0:2:0,10 00D7 --json"),
         false, 2, -1, 0, nullptr, &RunDecode});
    add({QStringLiteral("encode"), QStringLiteral("ADDRESS VALUE HEXBYTES"),
         QStringLiteral("Write a value into the bytes of a network variable."),
         QStringLiteral("Puts VALUE into the point's field of the variable's present bytes "
                        "HEXBYTES, as a write of the point would (the address's scale "
                        "multiplies the value), and prints the new bytes. Fails (exit 1) when "
                        "the value cannot be written into the field."),
         QStringLiteral("  lonctl encode 0:1:10:1:105:0:3:105 22.5 \"08 66\"\n"
                        "  lonctl encode 0:1:1:0:0:0:7:240 9 05"),
         false, 3, -1, 0, nullptr, &RunEncode});
    add({QStringLiteral("expand"), QStringLiteral("SNVT NAME"),
         QStringLiteral("Show the point entries of a network variable of an SNVT type."),
         QStringLiteral("Lists the points that discovery reports for a variable named NAME of "
                        "SNVT type number SNVT (0-225, `lonctl types` lists them), at the device address given by --at."),
         QStringLiteral("  lonctl expand 105 nviSetpoint\n"
                        "  lonctl expand 88 nvoAlarm --at 0:1:20:10"),
         false, 2, 2, 0, &AddExpandOptions, &RunExpand});
    add({QStringLiteral("snvt"), QStringLiteral("[NUMBER]"),
         QStringLiteral("List the SNVT catalogue, or show one type in detail."),
         QStringLiteral("Without NUMBER: every type number with its units, expansion and scaling. "
                        "With NUMBER: that type, and for structured types the layout of its "
                        "fields."),
         QStringLiteral("  lonctl snvt\n"
                        "  lonctl snvt 88 --json"),
         false, 0, 1, 0, nullptr, &RunSnvt});
    add({QStringLiteral("types"), QStringLiteral("[NUMBER|NAME]"),
         QStringLiteral("List the standard types, or show one with its points and ranges."),
         QStringLiteral("Without an argument: every type the driver knows (1-225) with its name, "
                        "kind, size in bytes, number of points, units and the range a write must "
                        "lie in. With a type number or name (SNVT_temp_p, or temp_p): its points as "
                        "discovery lists them (offset, variable type, parameter, kind, units, "
                        "range) and the members of its enumerations. --fahrenheit shows "
                        "temperatures as a site in Fahrenheit does."),
         QStringLiteral("  lonctl types\n"
                        "  lonctl types SNVT_temp_p\n"
                        "  lonctl types 127 --json"),
         false, 0, 1, 0, nullptr, &RunTypes});
    add({QStringLiteral("xif"), QStringLiteral("show FILE"),
         QStringLiteral("Show a device interface file (XIF) as the driver reads it."),
         QStringLiteral("Reads FILE as the driver reads a template: the program ID, the device's "
                        "text, and every variable with its index, name, direction, type number "
                        "(0 for a user-defined type), size in bytes, number of field lines and, "
                        "for a configuration property, its initial value. A malformed file "
                        "fails (exit 1) with FILE:LINE and the reason. Templates go into "
                        "~/.local/share/lonworks/templates/ (see docs/templates.md)."),
         QStringLiteral("  lonctl xif show 6kEvbMultiSensor.XIF\n"
                        "  lonctl xif show gc_sw.xif --json"),
         false, 2, 2, 0, nullptr, &RunXif});
    add({QStringLiteral("interfaces"), QString(),
         QStringLiteral("List the network interfaces that --interface can name."),
         QStringLiteral("Shows the interfaces file that libldv32.so reads (LDV_INTERFACES, else "
                        "$XDG_CONFIG_HOME/lonworks/interfaces.json, else "
                        "/etc/lonworks/interfaces.json), or where it was looked for; each of its "
                        "entries with its kind (simulated, ip852 or lon-device) and what it opens; and "
                        "the names that work without an entry: LON1, the <name>.json files of the "
                        "LONSIM_PATH folders and the LON network devices (lon0, lon1, ...) of this "
                        "machine, up or down. The file is read with lonctl's environment; a driver "
                        "started elsewhere reads it with its own. Fails (exit 1) with the reason "
                        "when the file is refused: then every interface fails to open."),
         QStringLiteral("  lonctl interfaces\n"
                        "  LDV_INTERFACES=/etc/lonworks/site-b.json lonctl interfaces --json"),
         false, 0, 0, 0, nullptr, &RunInterfaces});

    // Site commands: through the driver.
    add({QStringLiteral("status"), QString(),
         QStringLiteral("Show the site's status: interface, library, Neuron ID and domains."),
         QStringLiteral("Connects the site and prints the driver's SITESTATUS lines. An interface the driver "
                        "library has lost (a USB adapter unplugged) shows \"- interface lost\" after its "
                        "name (JSON: interfaceLost)."),
         QStringLiteral("  lonctl status --site Plant\n"
                        "  lonctl status --site Plant --interface LON1 --json"),
         true, 0, 0, 60, nullptr, &RunStatus});
    add({QStringLiteral("time"), QString(),
         QStringLiteral("Show the site's date and time."),
         QStringLiteral("Prints the driver's SITETIME answer."),
         QStringLiteral("  lonctl time --site Plant"),
         true, 0, 0, 60, nullptr, &RunTime});
    add({QStringLiteral("discover"), QString(),
         QStringLiteral("Find the devices on the network and list their points."),
         QStringLiteral("Runs discovery (GETDATA with DRIVERCOMMAND=GETPOINTSLIST) on both domains "
                        "and lists every point: address, name, units, whether it can be written "
                        "and its kind. Discovery waits for silent devices and can take minutes "
                        "(default --timeout 300)."),
         QStringLiteral("  lonctl discover --site Plant\n"
                        "  lonctl discover --site Plant --json > points.json"),
         true, 0, 0, 300, nullptr, &RunDiscover});
    add({QStringLiteral("verify"), QStringLiteral("ADDRESS"),
         QStringLiteral("Ask the driver whether a point address is valid."),
         QStringLiteral("Sends POINTVERIFY and prints the driver's verdict with the address's "
                        "fields; exit 1 with the driver's message when the address is invalid."),
         QStringLiteral("  lonctl verify --site Plant 0:1:10:1:105:0:3:105 --name Setpoint"),
         true, 1, 1, 60, &AddVerifyOptions, &RunVerify});
    add({QStringLiteral("read"), QStringLiteral("ADDRESS"),
         QStringLiteral("Read one point's value from its device now."),
         QStringLiteral("Sends POINTGETVALUE, which fetches the variable from the device."),
         QStringLiteral("  lonctl read --site Plant 0:1:10:1:105:0:3:105"),
         true, 1, 1, 60, nullptr, &RunRead});
    add({QStringLiteral("write"), QStringLiteral("ADDRESS [VALUE]"),
         QStringLiteral("Write one point (or command a device object)."),
         QStringLiteral("Sends POINTMODIFY. For an ordinary point give VALUE: a number within "
                        "the point's type range, an enumeration's member by name (any case) or "
                        "number, a text or a date, as `lonctl types` shows the point; the driver "
                        "refuses anything else and nothing is written. For an address ending in "
                        "D-<object> (V1, C3, I2, O4, P1, ...) give --object-value and, optionally, "
                        "--state."),
         QStringLiteral("  lonctl write --site Plant 0:1:10:1:105:0:3:105 22.5\n"
                        "  lonctl write --site Plant 1:3:5:23:0:0:0:0,0,D-V1 --object-value 5 --state on"),
         true, 1, 2, 60, &AddWriteOptions, &RunWrite});
    add({QStringLiteral("watch"), QStringLiteral("ADDRESS..."),
         QStringLiteral("Poll points and print their values as they change."),
         QStringLiteral("Hands the driver the points list (SENDPOINTSLIST), then collects the "
                        "polled values (GETPOINTSLIST) once a second and prints each value when "
                        "it changes, until Ctrl-C, --cycles or --seconds."),
         QStringLiteral("  lonctl watch --site Plant 0:1:10:0:105:0:3:105 0:1:10:7:79:0:2:79\n"
                        "  lonctl watch --site Plant 0:1:20:5:15:0:2:15 --cycles 10 --json"),
         true, 1, -1, 60, &AddWatchOptions, &RunWatch});
    add({QStringLiteral("disabled"), QStringLiteral("ADDRESS"),
         QStringLiteral("Tell whether a device object is disabled."),
         QStringLiteral("Sends POINTGETDISABLED. ADDRESS must end in D-<object> with object V1-V50, "
                        "I1-I12, O1-O12 or P1-P10."),
         QStringLiteral("  lonctl disabled --site Plant 1:3:5:22:0:0:0:0,0,D-V2"),
         true, 1, 1, 60, nullptr, &RunDisabled});
    add({QStringLiteral("file"), QString(),
         QStringLiteral("Read a file from a device."),
         QStringLiteral("Runs GETDATA with DRIVERCOMMAND=GETFILE. Without -o prints a hex dump; "
                        "with -o FILE writes the bytes to FILE (\"-\" for stdout)."),
         QStringLiteral("  lonctl file --site Plant --domain 0 --subnet 1 --node 40 --file-index 1 --request-var 7 -o scenes.txt"),
         true, 0, 0, 60, &AddFileOptions, &RunFile});
    add({QStringLiteral("lock"), QStringLiteral("[COMMENT]"),
         QStringLiteral("Lock the site to lonctl and hold the lock until Ctrl-C."),
         QStringLiteral("Takes the site lock (LOCKCLIENT with COMMENT as LOCKCOMMENT): other clients "
                        "are refused and polling stops. The lock is held while lonctl runs (until "
                        "Ctrl-C or --seconds) and is released when it ends."),
         QStringLiteral("  lonctl lock --site Plant \"backup running\"\n"
                        "  lonctl lock --site Plant --seconds 60"),
         true, 0, 1, 60, &AddLockOptions, &RunLock});
    add({QStringLiteral("unlock"), QString(),
         QStringLiteral("Release the site lock."),
         QStringLiteral("Sends UNLOCKCLIENT. A site locked by another client stays locked (exit 1); "
                        "its lock lapses 30 s after its owner's last command or when the owner "
                        "ends."),
         QStringLiteral("  lonctl unlock --site Plant"),
         true, 0, 0, 60, nullptr, &RunUnlock});
    return table;
}

} // namespace

const QList<TCommandInfo> &CommandTable()
{
    static const QList<TCommandInfo> table = BuildTable();
    return table;
}

const TCommandInfo *FindCommand(const QString &name)
{
    for (const TCommandInfo &info : CommandTable()) {
        if (info.Name == name)
            return &info;
    }
    return nullptr;
}

QString GeneralHelp()
{
    auto listOf = [](bool siteCommands) {
        QString text;
        for (const TCommandInfo &info : CommandTable()) {
            if (info.SiteCommand != siteCommands)
                continue;
            const QString synopsis = QString(info.Name + u' ' + info.Arguments).trimmed();
            text += QStringLiteral("  ") + synopsis.leftJustified(30) + u' ' + info.Summary + u'\n';
        }
        return text;
    };
    return QStringLiteral(
               "Usage: lonctl <command> [options] [arguments]\n"
               "\n"
               "Command-line client of the LonWorks Network Driver (lonworks-driver) on D-Bus.\n"
               "\n"
               "Offline commands (no driver needed):\n")
        + listOf(false)
        + QStringLiteral("\nSite commands (through the driver):\n") + listOf(true)
        + QStringLiteral(
            "\n"
            "Site options (every site command):\n"
            "  --site DESCRIPTION             the site's name (required)\n"
            "  --interface NAME               network interface (default LON1, the simulated network;\n"
            "                                 `lonctl interfaces` lists the names)\n"
            "  --offline                      connect in offline mode\n"
            "  --fahrenheit                   temperatures in degrees Fahrenheit\n"
            "  --domain0-id ID                the interface's domain 0 ID (1, 3 or 6 hex bytes)\n"
            "  --domain0-subnet N --domain0-node N\n"
            "                                 the interface's own address in domain 0\n"
            "  --domain1-id, --domain1-subnet, --domain1-node   the same for domain 1\n"
            "  --poll-budget N                poll at N fetches per second, several at once\n"
            "  --poll-share PERCENT --channel TP/FT-10|PL-20\n"
            "                                 poll within a share of the channel's time\n"
            "  --poll-retry SECONDS           fetch points stopped by failures again this often\n"
            "  --timeout SECONDS              give up after this long (default 60, discover 300)\n"
            "  --system                       the driver of the system service, on the system bus\n"
            "  --session                      the driver on your session bus (the default)\n"
            "  --json                         JSON output for scripts (every command)\n"
            "\n"
            "The driver is reached on the D-Bus session bus as QelLonWorks.QelLonWorksCom, or with\n"
            "--system (or LONWORKS_BUS=system) on the system bus, where the package's system\n"
            "service serves root and the members of the group lonworks. When it is not running,\n"
            "D-Bus starts it: the installed package provides its activation files; a driver that\n"
            "is not installed is registered with `lonworks-driver -regserver`, or start\n"
            "`lonworks-driver` yourself. A driver the bus starts does not see lonctl's\n"
            "environment (LONSIM_PATH, LDV_INTERFACES, LDV32_LIBRARY): give it to the bus with\n"
            "`dbus-update-activation-environment`.\n"
            "\n"
            "Exit status: 0 success, 1 the command failed, 2 the driver cannot be reached,\n"
            "64 bad usage, 130 interrupted.\n"
            "\n"
            "Run `lonctl <command> --help` for the options of one command.\n");
}
