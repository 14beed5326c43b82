#include "gui/admin/administration.h"

#include "gui/admin/login_form.h"
#include "gui/admin/management_form.h"

bool RunAdministration(QWidget* parent, const QString& dataDir, ProductDatabase& db,
                       const std::function<void()>& onChanged, const ModalRunner& run) {
    const auto show = [&run](QDialog& dialog) { return run ? run(dialog) : dialog.exec(); };
    {
        TLoginForm login(dataDir, db, parent);
        if (show(login) != QDialog::Accepted) return false;
    }
    bool changed = false;
    {
        TGlForm management(db, parent);
        QObject::connect(&management, &TGlForm::databaseChanged, [&changed] { changed = true; });
        if (run) management.setDialogRunner(run);
        show(management);
    }
    if (changed && onChanged) onChanged();
    return true;
}
