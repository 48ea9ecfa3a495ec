#include "lonworks/LonLib.h"

namespace {

// One domain of the interface: read it, apply the site's ID and address, write it back
// when anything changed. LonTalk subnets run 1..255 and nodes 1..127 (the node is 7 bits
// on the wire); an address outside that is not applied rather than cut to another node.
void ApplyDomain(TniNetworkInterface &ni, quint8 index, const TniDomainSetting &setting)
{
    TniDomainTableEntry entry = ni.Domain(index);
    QueryDomain(ni, index, entry);
    bool changed = ParseDomainId(setting.Id, entry);
    if (setting.Node >= 1 && setting.Node <= 127 && setting.Subnet >= 1) {
        entry.Node = setting.Node;
        entry.Subnet = setting.Subnet;
        changed = true;
    }
    ni.SetDomain(index, entry);
    if (changed)
        UpdateDomain(ni, index, entry);
}

} // namespace

void StartNetworkInterface(TniNetworkInterface &ni, const TniDomainSetting &domain0,
                           const TniDomainSetting &domain1)
{
    TniMessage message;
    message.AddressType = LonWire::AddrLocal;
    message.Command = LonWire::CmdLocal;
    message.SetData(std::array<quint8, 4>{0, quint8(LonWire::ReadOnlyAddress >> 8),
                                          quint8(LonWire::ReadOnlyAddress & 0xFF),
                                          LonWire::ReadOnlyLength});
    ni.ClearResponses();
    ExchangeMessage(ni, message, LonWire::CodeReadMemory, 0, 0, 0);
    if (!ni.Responses().IsEmpty()) {
        TniReadOnlyStructure readOnly = ni.ReadOnly();
        LonWire::DecodeReadOnly(ni.Responses().Items(0).Received(), readOnly);
        ni.SetReadOnly(readOnly);
        ni.ClearResponses();
    }
    ApplyDomain(ni, 0, domain0);
    ApplyDomain(ni, 1, domain1);
}

bool ParseDomainId(const QString &text, TniDomainTableEntry &entry)
{
    if (text.isEmpty())
        return false;
    QString rest = text;
    QStringList pieces;
    for (int i = 0; i < 6; ++i) {
        const qsizetype colon = rest.indexOf(u':');
        const QString piece = colon < 0 ? rest : rest.left(colon);
        rest = colon < 0 ? QString() : rest.mid(colon + 1);
        if (!piece.isEmpty())
            pieces.append(piece);
    }
    if (pieces.size() != 1 && pieces.size() != 3 && pieces.size() != 6)
        return false;

    static const QString digits = QStringLiteral("0123456789ABCDEF");
    entry.Id.fill(0);
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        const QString piece = pieces[k].toUpper();
        if (piece.size() != 2)
            continue;
        // Characters that are no hex digit count as position 0, as the format has always done.
        const int p1 = int(digits.indexOf(piece[0])) + 1;
        const int p2 = int(digits.indexOf(piece[1])) + 1;
        entry.Id[size_t(k)] = quint8(((p1 - 1) * 16 + (p2 - 1)) & 0xFF);
    }
    entry.IdLength = quint8(pieces.size());
    return true;
}
