#pragma once
// The administrator's entry from the main window's tool button "管理配置": the login dialog and,
// after a successful login, the management window, both modal and gone when this returns.
// GUI thread only.

#include <QString>

#include <functional>

class ProductDatabase;
class QDialog;
class QWidget;

// Shows a dialog modally and returns its result (QDialog::exec by default; tests drive the
// dialog instead).
using ModalRunner = std::function<int(QDialog&)>;

// Runs the login and, on success, the management window. onChanged is called (after the
// management window has closed) when a scheme or product was written or deleted, so the
// caller can reload its model list. Returns true when the management window was shown.
bool RunAdministration(QWidget* parent, const QString& dataDir, ProductDatabase& db,
                       const std::function<void()>& onChanged = {}, const ModalRunner& run = {});
