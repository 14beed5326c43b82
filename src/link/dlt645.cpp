#include "link/dlt645.h"

#include "common/conversion.h"

#include <span>

std::array<uint8_t, 4> Identifier2007Bytes(const QString& identifier) {
    // toLatin1 keeps one byte per character, so positions in the text stay where they were.
    const QByteArray latin = identifier.toLatin1();
    const auto bytes = ParseIdentifier2007(std::string_view(latin.constData(), latin.size()));
    if (!bytes)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid DL/T 645-2007 data identifier").arg(identifier));
    return *bytes;
}

bool ReadData1997(Link& link, const Dlt645Address& address, uint8_t di0, uint8_t di1,
                  std::vector<uint8_t>& out) {
    const uint8_t data[] = {di0, di1};
    const auto reply =
        link.Transact(BuildDlt645Frame(address, kDlt645Read1997, 2, data), kRead1997Params);
    return reply && CheckRead1997Reply(*reply, out);
}

bool ReadData2007(Link& link, const Dlt645Address& address, const QString& identifier,
                  std::vector<uint8_t>& out) {
    const std::array<uint8_t, 4> data = Identifier2007Bytes(identifier);
    const auto reply =
        link.Transact(BuildDlt645Frame(address, kDlt645Read2007, 4, data), kRead2007Params);
    return reply && CheckRead2007Reply(*reply, out);
}

bool ClearEnergy1997(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l) {
    // 0xC3 0xB2 travel as F6 E5 once offset.
    const uint8_t data[] = {0xC3, 0xB2};
    const auto reply = link.Transact(BuildDlt645Frame(address, c, l, data), kClear1997Params);
    return reply && CheckCommandReply(*reply);
}

bool ClearDemand1997(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l) {
    const auto reply = link.Transact(BuildDlt645Frame(address, c, l, {}), kClear1997Params);
    return reply && CheckCommandReply(*reply);
}

bool ClearCommand2007(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l,
                      const std::vector<uint8_t>& data) {
    if (l > kClearCommand2007MaxData || data.size() < l) return false;
    const auto reply =
        link.Transact(BuildDlt645Frame(address, c, l, std::span<const uint8_t>(data).first(l)),
                      kClearCommand2007Params);
    return reply && CheckCommandReply(*reply);
}

bool WriteData645(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l,
                  const std::vector<uint8_t>& data) {
    if (data.size() < l) return false;
    const auto reply =
        link.Transact(BuildDlt645Frame(address, c, l, std::span<const uint8_t>(data).first(l)),
                      kWriteData645Params);
    return reply && CheckCommandReply(*reply);
}
