#include "gui/calib/station_record.h"

#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "session/unit_identity.h"

UnitRecord StationRecord(const TMainForm& form, RecordKind kind) {
    return StationRecordFor(form.dataDir(), form.station().line(),
                            form.station().product().ModelName, kind);
}

bool StoreRecord(TMainForm& form, UnitRecord& record) {
    if (form.results().Add(record)) return true;
    Ui().error(&form, form.results().lastError());
    return false;
}
