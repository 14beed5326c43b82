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
