#include "check_fixture.h"

#include "link/modbus.h"

std::vector<uint16_t> ParameterListWords(ProductDatabase& database, const QString& model) {
    QStringList names;
    if (!database.SelectOrderedParametersOfModel(model, names)) return {};
    std::vector<uint16_t> words{0};
    for (const QString& name : names) {
        std::optional<OutputParameterRow> row;
        if (!database.SelectParameter(name, row) || !row) return {};
        for (int i = 0; i < row->parameter.zs; ++i)
            words.push_back(static_cast<uint16_t>(row->parameter.addr + i));
    }
    words[0] = static_cast<uint16_t>(words.size() - 1);
    return words;
}

bool DownloadParameterList(Link& link, ProductDatabase& database, const QString& model,
                           uint8_t address) {
    const std::vector<uint16_t> words = ParameterListWords(database, model);
    return !words.empty() && WriteCalibrationRegisters(link, address, 11300,
                                                       static_cast<uint16_t>(words.size()), words);
}

bool ConfigureModule(SimProcess& sim, ProductDatabase& database, const QString& model,
                     bool withList) {
    std::optional<Scheme> scheme;
    if (!database.SelectSchemeOfModel(model, scheme) || !scheme) return false;
    const auto set = [&](int reg, const QList<int>& values) {
        QString line = QStringLiteral("set %1").arg(reg);
        for (int v : values)
            line += QStringLiteral(" %1").arg(v & 0xFFFF);
        return sim.command(line).startsWith("ok");
    };
    bool ok = set(11015,
                  {FlagValue(scheme->ublfx), scheme->ubl, FlagValue(scheme->iblfx), scheme->ibl,
                   FlagValue(scheme->pblfx), scheme->pbl, FlagValue(scheme->eblfx), scheme->ebl}) &&
              set(11025, {FlagValue(scheme->cslxsn)}) && set(11027, {FlagValue(scheme->csfhsn)});
    if (ok && withList) {
        const std::vector<uint16_t> words = ParameterListWords(database, model);
        ok = !words.empty() && set(11300, QList<int>(words.begin(), words.end()));
    }
    return ok;
}
