#include "session/station_state.h"

StationState::StationState(QObject* parent) : QObject(parent) {}

void StationState::setLine(const LineChoice& line) {
    if (line == line_) return;
    line_ = line;
    emit lineChanged();
}

void StationState::setPortOpen(bool open) {
    if (open == portOpen_) return;
    portOpen_ = open;
    emit portOpenChanged(open);
}

void StationState::setProduct(const ProductSelection& product) {
    if (product == product_) return;
    product_ = product;
    emit productChanged();
}

void StationState::setRated(const RatedValues& rated) {
    if (rated == rated_) return;
    rated_ = rated;
    emit ratedValuesChanged();
}

void ApplyModel(ProductSelection& p, const ProductModel& model) {
    p.ModelName = model.cpxh.trimmed();
    p.SchemeName = model.fs.trimmed();
    p.BTLGS = model.btlgs;
    p.JXMS = model.jxms;
    p.UPT = model.upt;
    p.ICT = model.ict;
    p.CTNUM = model.ctnum;
    p.XLJSFS = model.xljsfs;
    // This series takes wiring mode, ratios, CT count and demand method from the database.
    p.UserParamsEditable = p.ModelName.left(6) != QLatin1String("KX2953");
}

void ApplyScheme(ProductSelection& p, const Scheme& scheme) {
    p.UBLFX = FlagValue(scheme.ublfx);
    p.UBL = scheme.ubl;
    p.IBLFX = FlagValue(scheme.iblfx);
    p.IBL = scheme.ibl;
    p.PBLFX = FlagValue(scheme.pblfx);
    p.PBL = scheme.pbl;
    p.EBLFX = FlagValue(scheme.eblfx);
    p.EBL = scheme.ebl;
    p.TXXY = scheme.txxy;
    p.SDBJXS = scheme.sdbjxs;
    p.CSLXSN = FlagValue(scheme.cslxsn);
    p.FDBDSN = FlagValue(scheme.fdbdsn);
    p.CSFHSN = FlagValue(scheme.csfhsn);
    p.GLYSFXSN = FlagValue(scheme.glysfxsn);
}
