// Renders the management window and the login dialog, on a temporary database made from the
// seed, to PNG files for a look at their layout:
// admin_shot <management.png> [<login.png> [<plans.png>]].

#include "gui/admin/login_form.h"
#include "gui/admin/management_form.h"
#include "gui/admin/plan_editor.h"
#include "gui/kit/messages.h"
#include "recording_messages.h"

#include "admin_fixture.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: admin_shot <management.png> [<login.png> [<plans.png>]]\n");
        return 2;
    }
    RecordingMessages messages;
    AdminFolder folder;
    if (!folder.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(folder.openError()));
        return 1;
    }
    TGlForm form(folder.db());
    form.show();
    app.processEvents();
    bool ok = form.grab().save(QString::fromLocal8Bit(argv[1]));
    if (argc > 2) {
        TLoginForm login(folder.path(), folder.db());
        login.show();
        app.processEvents();
        ok = login.grab().save(QString::fromLocal8Bit(argv[2])) && ok;
    }
    if (argc > 3) {
        const QString model = QStringLiteral("KX2953B35-01");
        folder.db().SavePlan({model,
                              QStringLiteral("满载"),
                              {{100, 100, 0, 50}, {120, 120, 60, 55}, {10, 1, 330, 45}}});
        folder.db().SavePlan({model, QStringLiteral("轻载"), {{10, 1, 0, 50}}});
        PlanEditor plans(folder.db(), model);
        plans.show();
        app.processEvents();
        ok = plans.grab().save(QString::fromLocal8Bit(argv[3])) && ok;
    }
    for (const QString& line : messages.shown)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    return ok ? 0 : 1;
}
