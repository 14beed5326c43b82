#include "model_setup.h"

#include "common/conversion.h"
#include "module.h"
#include "store/database.h"

#include <QFileInfo>

#include <optional>
#include <vector>

QString SetUpForModel(Module& module, const QString& databasePath, const QString& model) {
    if (!QFileInfo::exists(databasePath))
        return QStringLiteral("no product database %1").arg(databasePath);
    ProductDatabase db(databasePath);
    try {
        std::optional<ProductModel> productModel;
        if (!db.SelectModel(model, productModel) || !productModel)
            return QStringLiteral("no model %1 in %2").arg(model, databasePath);
        std::optional<Scheme> scheme;
        if (!db.SelectScheme(productModel->fs, scheme) || !scheme)
            return QStringLiteral("no scheme %1 for model %2").arg(productModel->fs, model);
        QStringList parameters;
        if (!db.SelectSchemeParameters(scheme->fs, parameters))
            return QStringLiteral("cannot read the parameters of scheme %1").arg(scheme->fs);

        std::vector<uint16_t> list{0};
        for (const QString& name : parameters) {
            std::optional<OutputParameterRow> row;
            if (!db.SelectParameter(name, row) || !row)
                return QStringLiteral("no output parameter %1").arg(name);
            for (int i = 0; i < row->parameter.zs; ++i)
                list.push_back(uint16_t(row->parameter.addr + i));
        }
        list[0] = uint16_t(list.size() - 1);

        const std::vector<uint16_t> scales{
            uint16_t(FlagValue(scheme->ublfx)), uint16_t(scheme->ubl),
            uint16_t(FlagValue(scheme->iblfx)), uint16_t(scheme->ibl),
            uint16_t(FlagValue(scheme->pblfx)), uint16_t(scheme->pbl),
            uint16_t(FlagValue(scheme->eblfx)), uint16_t(scheme->ebl)};
        const std::vector<uint16_t> enables{
            uint16_t(scheme->sdbjxs), uint16_t(FlagValue(scheme->cslxsn)),
            uint16_t(FlagValue(scheme->fdbdsn)), uint16_t(FlagValue(scheme->csfhsn)),
            uint16_t(FlagValue(scheme->glysfxsn))};
        const std::vector<uint16_t> format{uint16_t(productModel->btlgs)};
        const std::vector<uint16_t> protocol{uint16_t(scheme->txxy)};
        // The protocol goes last: it decides how the module answers from then on.
        if (!module.writeRegisters(11300, list) || !module.writeRegisters(11015, scales) ||
            !module.writeRegisters(11024, enables) || !module.writeRegisters(269, format) ||
            !module.writeRegisters(11023, protocol))
            return QStringLiteral("model %1 holds values the module refuses").arg(model);
    } catch (const ConversionError& e) {
        return e.text();
    }
    return {};
}
