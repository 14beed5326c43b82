#pragma once
// StationState: what the station works with besides the bus itself: the line settings the port
// opens with, whether the port is open, the selected product with its scheme, and the rated
// values of the calibration. The main window owns one; the pages and controllers read it by
// const reference and change it through the setters, which announce a real change only, so a
// view that follows a signal (the port text, for one) is not redrawn for an equal value.
// GUI thread only: a job copies what it needs before it is submitted.

#include "store/database.h"

#include <QObject>
#include <QString>

// The line settings: indexes into the serial settings dialog's lists, the port and the module's
// address.
struct LineChoice {
    QString PortName = QStringLiteral("COM1");
    int PortIndex = 0;
    int BaudIndex = 3;
    int ParityIndex = 0;
    int DataBitsIndex = 2;
    int StopBitsIndex = 0;
    quint8 ModuleAddress = 1;

    bool operator==(const LineChoice&) const = default;
};

// The selected product as the last product selection loaded it; values keep their previous
// contents until a load overwrites them.
struct ProductSelection {
    QString ModelName;
    QString SchemeName;
    int BTLGS = 0;
    int JXMS = 0;
    int UPT = 0;
    int ICT = 0;
    int CTNUM = 0;
    int XLJSFS = 0;
    int UBLFX = 0;
    int UBL = 0;
    int IBLFX = 0;
    int IBL = 0;
    int PBLFX = 0;
    int PBL = 0;
    int EBLFX = 0;
    int EBL = 0;
    int TXXY = 0;
    int SDBJXS = 0;
    int CSLXSN = 0;
    int FDBDSN = 0;
    int CSFHSN = 0;
    int GLYSFXSN = 0;
    // False for the series that takes wiring mode, ratios, CT count and demand method from the
    // database instead of the calibration page.
    bool UserParamsEditable = true;

    bool operator==(const ProductSelection&) const = default;
};

// The product's values from its row of the product table (name, scheme, frame format, wiring,
// ratios, CT count, demand method, and whether the user may change the ratios) and from its
// scheme's row (scales, protocol, enables), as the product selection loads them.
void ApplyModel(ProductSelection& product, const ProductModel& model);
void ApplyScheme(ProductSelection& product, const Scheme& scheme);

// The ratings the calibration works to.
struct RatedValues {
    double RatedVoltage = 220.0;
    double RatedCurrent = 5.0;

    bool operator==(const RatedValues&) const = default;
};

class StationState : public QObject {
    Q_OBJECT
public:
    explicit StationState(QObject* parent = nullptr);

    const LineChoice& line() const { return line_; }
    bool portOpen() const { return portOpen_; }
    const ProductSelection& product() const { return product_; }
    const RatedValues& rated() const { return rated_; }

    void setLine(const LineChoice& line);
    void setPortOpen(bool open);
    void setProduct(const ProductSelection& product);
    void setRated(const RatedValues& rated);

signals:
    void lineChanged();
    void portOpenChanged(bool open);
    void productChanged();
    void ratedValuesChanged();

private:
    LineChoice line_;
    bool portOpen_ = false;
    ProductSelection product_;
    RatedValues rated_;
};
