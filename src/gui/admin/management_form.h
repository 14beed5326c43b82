#pragma once
// TGlForm "管理配置界面": the administrator's editor of the product database. The upper group
// edits schemes (Fstable) with their ordered parameter lists (Cstable): two parameter lists
// with six list buttons and the 4 x 9 scheme grid whose cell (1,1) holds the scheme selector
// CBox_Type. The lower group edits product models (Config); its button 检验方案 opens the
// editor of the models' test plans. Every outcome is shown through the message seam. GUI
// thread only.

#include "admin/admin_rules.h"
#include "gui/admin/administration.h"

#include <QComboBox>
#include <QDialog>
#include <QString>
#include <QStringList>

class ProductDatabase;
class QListWidget;
class QLineEdit;
class QPushButton;
class QTableWidget;
class UpDown;

// A scheme selector that reports a closed drop-down and a choice the way the scheme editor
// expects them: first the close-up, then the change, each once, after Qt has applied the choice
// (Qt's own order of hiding the popup and activating the entry does not matter then).
// A choice without the drop-down (keys, Enter in the typed name) is a change alone.
class SchemeSelector : public QComboBox {
    Q_OBJECT
public:
    explicit SchemeSelector(QWidget* parent = nullptr);
    void showPopup() override;
    void hidePopup() override;
    // What a mouse choice in the drop-down amounts to: the entry chosen, the drop-down closed.
    // The signals follow once control returns to the event loop.
    void chooseFromDropDown(int index);
signals:
    void closedUp();
    void changed();

private:
    void schedule();
    void deliver();
    bool popupShown_ = false;
    bool closeUpPending_ = false;
    bool changePending_ = false;
    bool scheduled_ = false;
};

class TGlForm : public QDialog {
    Q_OBJECT
public:
    TGlForm(ProductDatabase& db, QWidget* parent = nullptr);

    // Scheme selectors: a drop-down of CBox_Type or CBox_Pz closed (loads the scheme shown),
    // and a choice in CBox_Type (switches between list mode and entry mode after a close-up).
    void CBox_TypeCloseUp(QComboBox* box);
    void CBox_TypeChange();
    // True while CBox_Type takes a typed name (saving creates a scheme).
    bool entryMode() const { return entryMode_; }

    // The grid buttons: row 2 "保存配置方式", row 3 "删除配置方式".
    void AdvStringGridButtonClick(int row);

    // List buttons: up, down, remove, add, remove all, add all.
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void BitBtn10Click();
    void BitBtn11Click();

    // Product group: model chosen, new, update, delete, exit.
    void CB_CPTypeChange();
    void BitBtn4Click();
    void BitBtn3Click();
    void BitBtn6Click();
    void BitBtn5Click();
    // "检验方案": the plan editor on the model chosen in CB_CPType.
    void BitBtn_PlansClick();

    // How the plan editor is shown (QDialog::exec unless set; tests drive it instead).
    void setDialogRunner(ModalRunner run) { runDialog_ = std::move(run); }

signals:
    // A scheme or product was written or deleted: the main window reloads its model list.
    void databaseChanged();

private:
    void buildSchemeGroup(QWidget* group);
    void buildProductGroup(QWidget* group);
    void createGridButtons();
    void LoadProductList();
    void LoadSchemeLists();
    void LoadCatalogue(QListWidget* list);
    void LoadSchemeParameters(const QString& scheme);
    void LoadScheme(const QString& scheme);
    bool CreateScheme(const QString& name);
    bool ModifyScheme(const QString& name);
    bool ValidateScheme(const SchemeCells& cells, const QStringList& parameters);
    void setEntryMode(bool entry);
    SchemeCells gridCells() const;
    void showCells(const SchemeCells& cells);
    QStringList selectedParameters() const;
    ProductEntry productEntry(const QString& name) const;

    ProductDatabase& db_;
    ModalRunner runDialog_;
    bool entryMode_ = false;
    bool closedUp_ = false; // a selector closed its drop-down since the last mode switch
    std::optional<LoadedScheme> loaded_; // the scheme as last loaded, for the save to compare

    QListWidget* listBox1_ = nullptr; // available parameters, catalogue order
    QListWidget* listBox2_ = nullptr; // the scheme's parameters, in register order
    QTableWidget* grid_ = nullptr;
    SchemeSelector* cboxType_ = nullptr;

    QLineEdit* editAddcpxh_ = nullptr;
    SchemeSelector* cboxPz_ = nullptr;
    QComboBox* cbCheckoutType_ = nullptr;
    QComboBox* cbNetType_ = nullptr;
    QLineEdit* lePt_ = nullptr;
    QLineEdit* leCt_ = nullptr;
    UpDown* upDownPt_ = nullptr;
    UpDown* upDownCt_ = nullptr;
    QComboBox* cbCtNum_ = nullptr;
    QComboBox* cboxXlType_ = nullptr;
    QComboBox* cbCpType_ = nullptr;
};
