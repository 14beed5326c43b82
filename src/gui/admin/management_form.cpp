#include "gui/admin/management_form.h"

#include "common/conversion.h"
#include "gui/kit/help_viewer.h"
#include "gui/admin/plan_editor.h"
#include "gui/kit/messages.h"
#include "gui/kit/up_down.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>
#include <utility>

SchemeSelector::SchemeSelector(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, [this] {
        changePending_ = true;
        schedule();
    });
}

void SchemeSelector::showPopup() {
    popupShown_ = true;
    QComboBox::showPopup();
}

void SchemeSelector::hidePopup() {
    QComboBox::hidePopup();
    if (!popupShown_) return;
    popupShown_ = false;
    closeUpPending_ = true;
    schedule();
}

void SchemeSelector::chooseFromDropDown(int index) {
    popupShown_ = true;
    setCurrentIndex(index);
    emit activated(index);
    hidePopup();
}

void SchemeSelector::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &SchemeSelector::deliver, Qt::QueuedConnection);
}

void SchemeSelector::deliver() {
    scheduled_ = false;
    const bool closeUp = std::exchange(closeUpPending_, false);
    const bool change = std::exchange(changePending_, false);
    if (closeUp) emit closedUp();
    if (change) emit changed();
}

namespace {

constexpr int kColumnWidths[kGridColumns] = {11, 91, 83, 75, 90, 80, 80, 95, 110};
constexpr int kRowHeight = 21;

// Drop-down editors for the direction, enable and protocol cells; plain text elsewhere.
class SchemeGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const QStringList items = GridCellList(index.row(), index.column());
        if (items.isEmpty()) return QStyledItemDelegate::createEditor(parent, option, index);
        auto* box = new QComboBox(parent);
        box->addItems(items);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(box->findText(index.data().toString()));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (box->currentIndex() >= 0) model->setData(index, box->currentText());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }
};

QComboBox* AddList(QGridLayout* layout, QWidget* parent, int row, int column, const char* name,
                   const QString& label, const QStringList& items, int index) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setCurrentIndex(index);
    layout->addWidget(new QLabel(label, parent), row, column, Qt::AlignRight);
    layout->addWidget(list, row, column + 1);
    return list;
}

QPushButton* ListButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                        const QString& tip) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAutoDefault(false);
    button->setFixedWidth(48);
    return button;
}

// A stored number that does not read as one (a database edited elsewhere) ends the operation
// with the conversion error shown, as a typing error would.
template <typename Body> void Guard(QWidget* window, Body body) {
    try {
        body();
    } catch (const ConversionError& e) {
        Ui().error(window, e.text());
    }
}

QString Selected(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item ? item->text() : QString();
}

} // namespace

TGlForm::TGlForm(ProductDatabase& db, QWidget* parent) : QDialog(parent), db_(db) {
    setObjectName(QStringLiteral("GlForm"));
    AddHelpKey(this, QStringLiteral("admin"));
    setWindowTitle(tr("管理配置界面"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* outer = new QVBoxLayout(this);
    auto* schemeGroup = new QGroupBox(tr("新建/修改/删除配置方式"), this);
    schemeGroup->setObjectName(QStringLiteral("GroupBox1"));
    auto* productGroup = new QGroupBox(tr("新建/修改/删除产品配置"), this);
    productGroup->setObjectName(QStringLiteral("GroupBox2"));
    outer->addWidget(schemeGroup);
    outer->addWidget(productGroup);
    buildProductGroup(productGroup); // the product lists are filled first
    buildSchemeGroup(schemeGroup);   // grid headings

    Guard(this, [&] {
        LoadProductList();
        listBox1_->clear();
        listBox2_->clear();
        LoadCatalogue(listBox1_);
        QList<ProductModel> probe;
        if (!db_.SelectAllModels(probe)) {
            Ui().inform(this, AdminText::DatabaseFailed);
            return;
        }
        createGridButtons();
        LoadSchemeLists();
        CBox_TypeCloseUp(cboxType_);
    });
    setFixedSize(sizeHint());
}

void TGlForm::buildSchemeGroup(QWidget* group) {
    auto* layout = new QVBoxLayout(group);
    auto* lists = new QHBoxLayout;
    const auto listColumn = [&](const QString& heading, const char* name) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(heading, group));
        auto* list = new QListWidget(group);
        list->setObjectName(QLatin1String(name));
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setMinimumHeight(220);
        column->addWidget(list);
        lists->addLayout(column, 1);
        return list;
    };
    listBox1_ = listColumn(tr("可选参数列表"), "ListBox1");

    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    const struct {
        const char* name;
        QStyle::StandardPixmap icon;
        const char* tip;
        void (TGlForm::*handler)();
    } kButtons[] = {
        {"BitBtn1", QStyle::SP_ArrowUp, QT_TRANSLATE_NOOP("TGlForm", "上移"),
         &TGlForm::BitBtn1Click},
        {"BitBtn2", QStyle::SP_ArrowDown, QT_TRANSLATE_NOOP("TGlForm", "下移"),
         &TGlForm::BitBtn2Click},
        {"BitBtn9", QStyle::SP_ArrowRight, QT_TRANSLATE_NOOP("TGlForm", "添加"),
         &TGlForm::BitBtn9Click},
        {"BitBtn8", QStyle::SP_ArrowLeft, QT_TRANSLATE_NOOP("TGlForm", "移除"),
         &TGlForm::BitBtn8Click},
        {"BitBtn11", QStyle::SP_MediaSeekForward, QT_TRANSLATE_NOOP("TGlForm", "全部添加"),
         &TGlForm::BitBtn11Click},
        {"BitBtn10", QStyle::SP_MediaSeekBackward, QT_TRANSLATE_NOOP("TGlForm", "全部移除"),
         &TGlForm::BitBtn10Click},
    };
    for (const auto& b : kButtons) {
        QPushButton* button = ListButton(group, b.name, b.icon, tr(b.tip));
        connect(button, &QPushButton::clicked, this, b.handler);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    lists->addLayout(buttons);
    listBox2_ = listColumn(tr("已选参数列表"), "ListBox2");
    layout->addLayout(lists);

    grid_ = new QTableWidget(kGridRows, kGridColumns, group);
    grid_->setObjectName(QStringLiteral("AdvStringGrid"));
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    // The narrow columns hold six-character headings: a 12-pixel font, and no minimum width
    // of the style in the way of the 11-pixel first column.
    grid_->horizontalHeader()->setMinimumSectionSize(0);
    grid_->verticalHeader()->setMinimumSectionSize(0);
    QFont small = grid_->font();
    small.setPixelSize(12);
    grid_->setFont(small);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    grid_->setItemDelegate(new SchemeGridDelegate(grid_));
    int width = 0;
    for (int c = 0; c < kGridColumns; ++c) {
        grid_->setColumnWidth(c, kColumnWidths[c]);
        width += kColumnWidths[c];
    }
    for (int r = 0; r < kGridRows; ++r)
        grid_->setRowHeight(r, kRowHeight);
    const int frame = 2 * grid_->frameWidth();
    grid_->setFixedSize(width + frame, kGridRows * kRowHeight + frame);
    const QBrush headingBrush = grid_->palette().button();
    for (int r = 0; r < kGridRows; ++r) {
        const QStringList headings = GridHeadings(r);
        for (int c = 0; c < kGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (IsGridFixedCell(r, c) || c == 1) {
                item->setFlags(Qt::ItemIsEnabled);
                if (IsGridFixedCell(r, c)) item->setBackground(headingBrush);
            }
            if (c >= 1 && c - 1 < headings.size()) item->setText(headings[c - 1]);
            grid_->setItem(r, c, item);
        }
    }
    cboxType_ = new SchemeSelector(grid_);
    cboxType_->setObjectName(QStringLiteral("CBox_Type"));
    cboxType_->setInsertPolicy(QComboBox::NoInsert);
    grid_->setCellWidget(1, 1, cboxType_);
    connect(cboxType_, &SchemeSelector::closedUp, this, [this] { CBox_TypeCloseUp(cboxType_); });
    connect(cboxType_, &SchemeSelector::changed, this, &TGlForm::CBox_TypeChange);
    layout->addWidget(grid_, 0, Qt::AlignHCenter);
}

void TGlForm::createGridButtons() {
    const struct {
        int row;
        const char* name;
        const char* caption;
    } kButtons[] = {{2, "SaveSchemeButton", QT_TRANSLATE_NOOP("TGlForm", "保存配置方式")},
                    {3, "DeleteSchemeButton", QT_TRANSLATE_NOOP("TGlForm", "删除配置方式")}};
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(tr(b.caption), grid_);
        button->setObjectName(QLatin1String(b.name));
        button->setFixedSize(91, 20);
        button->setAutoDefault(false);
        const int row = b.row;
        connect(button, &QPushButton::clicked, this,
                [this, row] { AdvStringGridButtonClick(row); });
        grid_->setCellWidget(row, 1, button);
    }
}

void TGlForm::buildProductGroup(QWidget* group) {
    auto* layout = new QGridLayout(group);
    editAddcpxh_ = new QLineEdit(QStringLiteral("KX**********"), group);
    editAddcpxh_->setObjectName(QStringLiteral("Edit_Addcpxh"));
    layout->addWidget(new QLabel(tr("新增产品型号："), group), 0, 0, Qt::AlignRight);
    layout->addWidget(editAddcpxh_, 0, 1);

    cboxPz_ = new SchemeSelector(group);
    cboxPz_->setObjectName(QStringLiteral("CBox_Pz"));
    layout->addWidget(new QLabel(tr("选择配置方式："), group), 0, 2, Qt::AlignRight);
    layout->addWidget(cboxPz_, 0, 3);
    connect(cboxPz_, &SchemeSelector::closedUp, this, [this] { CBox_TypeCloseUp(cboxPz_); });

    cbCheckoutType_ = AddList(layout, group, 0, 4, "CB_CheckoutType", tr("比特率格式："),
                              {tr("N无,2S"), tr("O奇,1S"), tr("E偶,1S"), tr("N无,1S")}, 3);
    cbNetType_ = AddList(layout, group, 1, 0, "CB_NetType", tr("接线模式："),
                         {tr("三相四线"), tr("三相三线"), tr("单相")}, 0);

    const auto ratio = [&](int row, int column, const char* edit, const char* arrows,
                           const QString& label, int maximum, UpDown** upDown) {
        auto* field = new QLineEdit(QStringLiteral("1"), group);
        field->setObjectName(QLatin1String(edit));
        *upDown = new UpDown(field, 1, maximum, group);
        (*upDown)->setObjectName(QLatin1String(arrows));
        auto* box = new QHBoxLayout;
        box->setSpacing(0);
        box->addWidget(field);
        box->addWidget(*upDown);
        layout->addWidget(new QLabel(label, group), row, column, Qt::AlignRight);
        layout->addLayout(box, row, column + 1);
        return field;
    };
    lePt_ = ratio(1, 2, "LE_PT", "UpDown_Addr", tr("电压变比PT："), 5000, &upDownPt_);
    leCt_ = ratio(1, 4, "LE_CT", "UpDown1", tr("电流变比CT："), 9999, &upDownCt_);
    cbCtNum_ = AddList(layout, group, 2, 0, "CB_CT_Num", tr("CT个数："),
                       {QStringLiteral("2CT"), QStringLiteral("3CT")}, 0);
    cboxXlType_ = AddList(layout, group, 2, 2, "CBox_XLType", tr("计算需量方式："),
                          {tr("固定滑块"), tr("滑差式")}, 0);
    cbCpType_ = AddList(layout, group, 2, 4, "CB_CPType", tr("选择产品型号："), {}, -1);
    connect(cbCpType_, &QComboBox::activated, this, [this] { CB_CPTypeChange(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const struct {
        const char* name;
        const char* caption;
        QStyle::StandardPixmap icon;
        void (TGlForm::*handler)();
    } kButtons[] = {
        {"BitBtn4", QT_TRANSLATE_NOOP("TGlForm", "新建产品"), QStyle::SP_FileIcon,
         &TGlForm::BitBtn4Click},
        {"BitBtn3", QT_TRANSLATE_NOOP("TGlForm", "更新产品配置"), QStyle::SP_DialogSaveButton,
         &TGlForm::BitBtn3Click},
        {"BitBtn6", QT_TRANSLATE_NOOP("TGlForm", "删除产品"), QStyle::SP_TrashIcon,
         &TGlForm::BitBtn6Click},
        {"BitBtn_Plans", QT_TRANSLATE_NOOP("TGlForm", "检验方案"),
         QStyle::SP_FileDialogDetailedView, &TGlForm::BitBtn_PlansClick},
        {"BitBtn5", QT_TRANSLATE_NOOP("TGlForm", "退出"), QStyle::SP_DialogCloseButton,
         &TGlForm::BitBtn5Click},
    };
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(style()->standardIcon(b.icon), tr(b.caption), group);
        button->setObjectName(QLatin1String(b.name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, b.handler);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons, 3, 0, 1, 6);
}

// ---- Lists ----------------------------------------------------------------------------------

void TGlForm::LoadProductList() {
    QList<ProductModel> models;
    if (!db_.SelectAllModels(models)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    // A selection made here is not a user's choice: the other controls keep their values.
    const QSignalBlocker blocker(cbCpType_);
    cbCpType_->clear();
    for (const ProductModel& m : models)
        cbCpType_->addItem(m.cpxh);
    cbCpType_->setCurrentIndex(cbCpType_->count() > 0 ? 0 : -1);
}

void TGlForm::LoadSchemeLists() {
    QList<Scheme> schemes;
    if (!db_.SelectSchemes(schemes)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    const QSignalBlocker typeBlocker(cboxType_);
    const QSignalBlocker pzBlocker(cboxPz_);
    cboxType_->clear();
    cboxPz_->clear();
    for (const Scheme& s : schemes) {
        cboxType_->addItem(s.fs);
        cboxPz_->addItem(s.fs);
    }
    cboxType_->addItem(QString());
    cboxType_->setCurrentIndex(0);
    cboxPz_->setCurrentIndex(cboxPz_->count() > 0 ? 0 : -1);
}

void TGlForm::LoadCatalogue(QListWidget* list) {
    QList<OutputParameterRow> rows;
    if (!db_.SelectCatalogue(rows)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    for (const OutputParameterRow& row : rows)
        list->addItem(row.parameter.csmc);
    if (list->count() > 0) list->setCurrentRow(0);
}

void TGlForm::LoadSchemeParameters(const QString& scheme) {
    QStringList parameters;
    if (!db_.SelectSchemeParameters(scheme, parameters)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    listBox1_->clear();
    listBox2_->clear();
    LoadCatalogue(listBox1_);
    for (const QString& name : parameters) {
        const QString wanted = name.trimmed();
        for (int i = listBox1_->count() - 1; i >= 0; --i)
            if (listBox1_->item(i)->text().trimmed() == wanted) delete listBox1_->takeItem(i);
        listBox2_->addItem(name);
        listBox2_->setCurrentRow(listBox2_->count() - 1);
    }
}

// ---- Scheme selectors -----------------------------------------------------------------------

void TGlForm::CBox_TypeCloseUp(QComboBox* box) {
    Guard(this, [&] {
        closedUp_ = true;
        QComboBox* other = box == cboxType_ ? static_cast<QComboBox*>(cboxPz_) : cboxType_;
        const QString text = box->currentText();
        if (text.isEmpty()) return;
        {
            // Both selectors stand at the same index (CBox_Type has one more, empty, entry).
            const QSignalBlocker blocker(other);
            const int index = box->currentIndex();
            other->setCurrentIndex(index < other->count() ? index : -1);
        }
        LoadScheme(text.trimmed());
    });
}

void TGlForm::CBox_TypeChange() {
    if (!closedUp_) return;
    closedUp_ = false;
    setEntryMode(cboxType_->currentText().isEmpty());
    if (entryMode_) cboxType_->setFocus();
}

void TGlForm::setEntryMode(bool entry) {
    entryMode_ = entry;
    if (cboxType_->isEditable() == entry) return;
    const QSignalBlocker blocker(cboxType_);
    cboxType_->setEditable(entry);
    // Enter on a typed name that already exists must not pick that entry (and switch back to
    // list mode, where saving would overwrite it): duplicates allowed means no lookup.
    cboxType_->setInsertPolicy(QComboBox::NoInsert);
    cboxType_->setDuplicatesEnabled(true);
}

void TGlForm::LoadScheme(const QString& scheme) {
    std::optional<Scheme> row;
    if (!db_.SelectScheme(scheme, row)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    if (row) showCells(CellsOfScheme(*row));
    LoadSchemeParameters(scheme);
    // What the save compares with: another station may change the scheme meanwhile.
    loaded_ = db_.LoadScheme(scheme);
}

void TGlForm::showCells(const SchemeCells& cells) {
    for (int row : {1, 3})
        for (int column = 2; column <= 8; ++column) {
            const QString& text = cells.at(row, column);
            // A protocol number outside the list keeps what the cell showed.
            if (row == 3 && column == 3 && text.isEmpty()) continue;
            grid_->item(row, column)->setText(text);
        }
}

SchemeCells TGlForm::gridCells() const {
    SchemeCells cells;
    for (int row : {1, 3})
        for (int column = 2; column <= 8; ++column)
            cells.at(row, column) = grid_->item(row, column)->text();
    return cells;
}

QStringList TGlForm::selectedParameters() const {
    QStringList names;
    for (int i = 0; i < listBox2_->count(); ++i)
        names << listBox2_->item(i)->text();
    return names;
}

// ---- List buttons ---------------------------------------------------------------------------

void TGlForm::BitBtn1Click() {
    const int row = listBox2_->currentRow();
    if (row <= 0) return;
    listBox2_->insertItem(row - 1, listBox2_->takeItem(row));
    listBox2_->setCurrentRow(row - 1);
}

void TGlForm::BitBtn2Click() {
    const int row = listBox2_->currentRow();
    if (row < 0 || row >= listBox2_->count() - 1) return;
    listBox2_->insertItem(row + 1, listBox2_->takeItem(row));
    listBox2_->setCurrentRow(row + 1);
}

void TGlForm::BitBtn9Click() {
    const int row = listBox1_->currentRow();
    if (row < 0) return;
    QListWidgetItem* item = listBox1_->takeItem(row);
    if (listBox1_->count() > 0) listBox1_->setCurrentRow(std::min(row, listBox1_->count() - 1));
    listBox2_->addItem(item);
    listBox2_->setCurrentRow(listBox2_->count() - 1);
}

void TGlForm::BitBtn8Click() {
    Guard(this, [&] {
        const int row = listBox2_->currentRow();
        if (row < 0) return;
        const QString name = Selected(listBox2_);
        delete listBox2_->takeItem(row);
        // Back to its place in the catalogue: before the first available entry that comes later.
        const auto catalogueId = [this](const QString& parameter, std::optional<int>& id) {
            std::optional<OutputParameterRow> found;
            if (!db_.FindParameter(parameter, found)) return false;
            id = found ? std::optional<int>(found->id) : std::nullopt;
            return true;
        };
        std::optional<int> id;
        if (!catalogueId(name, id)) {
            Ui().inform(this, AdminText::DatabaseFailed);
            return;
        }
        int position = listBox1_->count();
        if (id) {
            for (int i = 0; i < listBox1_->count(); ++i) {
                std::optional<int> other;
                if (!catalogueId(listBox1_->item(i)->text(), other)) {
                    Ui().inform(this, AdminText::DatabaseFailed);
                    return;
                }
                if (other && *other > *id) {
                    position = i;
                    break;
                }
            }
        }
        const bool beforeAnother = position < listBox1_->count();
        listBox1_->insertItem(position, name);
        listBox1_->setCurrentRow(position);
        if (beforeAnother && listBox2_->count() > 0) listBox2_->setCurrentRow(0);
    });
}

void TGlForm::BitBtn11Click() {
    Guard(this, [&] {
        listBox1_->clear();
        listBox2_->clear();
        LoadCatalogue(listBox2_);
    });
}

void TGlForm::BitBtn10Click() {
    Guard(this, [&] {
        listBox1_->clear();
        listBox2_->clear();
        LoadCatalogue(listBox1_);
    });
}

// ---- Saving and deleting schemes ------------------------------------------------------------

bool TGlForm::ValidateScheme(const SchemeCells& cells, const QStringList& parameters) {
    bool conversion = false;
    const QString refusal = CheckScheme(db_, cells, parameters, &conversion);
    if (refusal.isEmpty()) return true;
    if (conversion)
        Ui().error(this, refusal);
    else
        Ui().inform(this, refusal);
    return false;
}

bool TGlForm::CreateScheme(const QString& name) {
    const SchemeCells cells = gridCells();
    const QStringList parameters = selectedParameters();
    if (!ValidateScheme(cells, parameters)) return false;
    bool exists = false;
    if (!db_.SchemeExists(name, exists)) {
        Ui().inform(this, AdminText::DatabaseFailedHalf);
        return false;
    }
    if (!exists) {
        // The parameter rows and the scheme row are written together or not at all.
        switch (db_.CreateSchemeWithParameters(SchemeOfCells(name, cells), parameters)) {
        case SchemeWrite::Done:
            return true;
        case SchemeWrite::Failed:
            Ui().inform(this, AdminText::DatabaseFailed);
            return false;
        case SchemeWrite::DuplicateName:
        case SchemeWrite::Changed:
            break;
        }
    }
    Ui().inform(this, AdminText::DuplicateScheme);
    cboxType_->setEditText(QString());
    return false;
}

bool TGlForm::ModifyScheme(const QString& name) {
    const SchemeCells cells = gridCells();
    const QStringList parameters = selectedParameters();
    if (!ValidateScheme(cells, parameters)) return false;
    const Scheme scheme = SchemeOfCells(name, cells);
    if (loaded_ && loaded_->scheme.fs.trimmed() == name) {
        switch (db_.ModifySchemeIfUnchanged(scheme, parameters, *loaded_)) {
        case SchemeWrite::Done:
            return true;
        case SchemeWrite::Changed:
            if (!Ui().ask(this, AdminText::SchemeChangedElsewhere.arg(name), tr("提示"))) {
                LoadScheme(name); // the editor shows what is stored now
                return false;
            }
            break;
        case SchemeWrite::DuplicateName:
        case SchemeWrite::Failed:
            Ui().inform(this, AdminText::DatabaseFailed);
            return false;
        }
    }
    if (!db_.ModifySchemeWithParameters(scheme, parameters)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return false;
    }
    return true;
}

void TGlForm::AdvStringGridButtonClick(int row) {
    Guard(this, [&] {
        // A name of blanks only is no name either.
        const QString name = cboxType_->currentText().trimmed();
        if (name.isEmpty()) {
            Ui().inform(this, AdminText::SchemeNameEmpty);
            return;
        }
        if (row == 2) {
            const bool creating = entryMode_;
            if (!(creating ? CreateScheme(name) : ModifyScheme(name))) {
                Ui().inform(this, (creating ? tr("新建 %1 失败!") : tr("修改 %1 失败!")).arg(name));
                return;
            }
            Ui().inform(this, (creating ? tr("新建 %1 成功!") : tr("修改 %1 成功!")).arg(name));
            setEntryMode(false);
            LoadSchemeLists();
            emit databaseChanged();
        } else if (row == 3) {
            if (Ui().ask(this, tr("确定删除 %1 吗?").arg(name), tr("提示"))) {
                if (db_.DeleteSchemeWithParameters(name))
                    emit databaseChanged();
                else
                    Ui().inform(this, AdminText::DatabaseFailed);
            }
            LoadSchemeLists();
        }
    });
}

// ---- Product group --------------------------------------------------------------------------

ProductEntry TGlForm::productEntry(const QString& name) const {
    ProductEntry e;
    e.name = name;
    e.scheme = cboxPz_->currentText();
    e.btlgs = cbCheckoutType_->currentIndex();
    e.jxms = cbNetType_->currentIndex();
    e.pt = lePt_->text();
    e.ct = leCt_->text();
    e.ctnum = cbCtNum_->currentIndex();
    e.xljsfs = cboxXlType_->currentIndex();
    return e;
}

void TGlForm::CB_CPTypeChange() {
    Guard(this, [&] {
        std::optional<ProductModel> model;
        if (!db_.SelectModel(cbCpType_->currentText().trimmed(), model)) {
            Ui().inform(this, AdminText::DatabaseFailed);
            return;
        }
        if (!model) return;
        const auto select = [](QComboBox* box, int index) {
            box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
        };
        select(cbCheckoutType_, model->btlgs);
        select(cbNetType_, model->jxms);
        select(cbCtNum_, model->ctnum);
        select(cboxXlType_, model->xljsfs);
        lePt_->setText(QString::number(model->upt));
        leCt_->setText(QString::number(model->ict));
        for (int i = 0; i < cboxPz_->count(); ++i) {
            if (cboxPz_->itemText(i) != model->fs) continue;
            cboxPz_->setCurrentIndex(i);
            CBox_TypeCloseUp(cboxPz_);
        }
        LoadSchemeParameters(model->fs);
    });
}

void TGlForm::BitBtn4Click() {
    Guard(this, [&] {
        const ProductEntry entry = productEntry(editAddcpxh_->text());
        bool conversion = false;
        const QString refusal = CheckNewProduct(entry, &conversion);
        if (!refusal.isEmpty()) {
            if (conversion)
                Ui().error(this, refusal);
            else
                Ui().inform(this, refusal);
            return;
        }
        const ProductModel product = ProductOfEntry(entry);
        std::optional<ProductModel> existing;
        if (!db_.SelectModel(product.cpxh, existing)) {
            Ui().inform(this, AdminText::DatabaseFailed);
            return;
        }
        if (existing) {
            Ui().inform(this, AdminText::DuplicateProduct);
            return;
        }
        if (!db_.InsertModel(product)) {
            Ui().inform(this, tr("添加  %1  产品失败!").arg(product.cpxh));
            return;
        }
        Ui().inform(this, tr("添加  %1  产品成功!").arg(product.cpxh));
        LoadProductList();
        emit databaseChanged();
    });
}

void TGlForm::BitBtn3Click() {
    Guard(this, [&] {
        const QString model = cbCpType_->currentText().trimmed();
        ProductModel product;
        try {
            // The ratios are numbers in the table: a text that is not one is refused here rather
            // than handed to the database.
            product = ProductOfEntry(productEntry(model));
        } catch (const ConversionError& e) {
            Ui().error(this, e.text());
            return;
        }
        if (!db_.UpdateModel(product)) {
            Ui().inform(this, AdminText::DatabaseFailed);
            return;
        }
        Ui().inform(this, tr("更新产品 %1 配置数据成功！").arg(model));
        emit databaseChanged();
    });
}

void TGlForm::BitBtn6Click() {
    Guard(this, [&] {
        const QString model = cbCpType_->currentText().trimmed();
        if (Ui().ask(this, tr("确定删除 %1 产品吗?").arg(model), tr("提示"))) {
            if (!db_.DeleteModel(model)) {
                Ui().inform(this, AdminText::DatabaseFailed);
                return;
            }
            emit databaseChanged();
        }
        LoadProductList();
    });
}

void TGlForm::BitBtn5Click() {
    close();
}

void TGlForm::BitBtn_PlansClick() {
    PlanEditor editor(db_, cbCpType_->currentText().trimmed(), this);
    // A plan written is a change of the database like a model: the main window reloads after.
    connect(&editor, &PlanEditor::plansChanged, this, &TGlForm::databaseChanged);
    if (runDialog_)
        runDialog_(editor);
    else
        editor.exec();
}
