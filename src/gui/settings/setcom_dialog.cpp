#include "gui/settings/setcom_dialog.h"

#include "common/conversion.h"
#include "gui/kit/help_viewer.h"
#include "gui/kit/messages.h"
#include "gui/kit/up_down.h"
#include "link/serial_link.h"
#include "store/settings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

QStringList BaudRateItems() {
    return {"1200", "2400", "4800", "9600", "19200", "38400"};
}
QStringList ParityItems() {
    return {QCoreApplication::translate("TSetComForm", "N无"),
            QCoreApplication::translate("TSetComForm", "O奇"),
            QCoreApplication::translate("TSetComForm", "E偶")};
}
QStringList DataBitsItems() {
    return {"6", "7", "8"};
}
QStringList StopBitsItems() {
    return {"1", "2"};
}

QString PortStatusText(const QString& port, int baudIndex, int parityIndex, int dataBitsIndex,
                       int stopBitsIndex) {
    const auto item = [](const QStringList& items, int index) {
        return index >= 0 && index < items.size() ? items[index] : QString();
    };
    return QStringList{port, item(BaudRateItems(), baudIndex), item(ParityItems(), parityIndex),
                       item(DataBitsItems(), dataBitsIndex), item(StopBitsItems(), stopBitsIndex)}
        .join(QLatin1Char(','));
}

std::optional<SerialChoice> SavedSerialChoice(const QString& dataDir, const QStringList& ports) {
    const SavedSerialSettings saved = LoadSerialSettings(dataDir);
    const auto inside = [](int index, const QStringList& items) {
        return index >= 0 && index < items.size();
    };
    if (!inside(saved.baudrate, BaudRateItems()) || !inside(saved.parity, ParityItems()) ||
        !inside(saved.databit, DataBitsItems()) || !inside(saved.stopbits, StopBitsItems()))
        return std::nullopt;
    QStringList sorted = ports;
    sorted.sort();
    SerialChoice c;
    c.portName = LoadPortName(dataDir).trimmed();
    if (c.portName.isEmpty() && inside(saved.port, sorted)) c.portName = sorted[saved.port];
    c.portIndex = c.portName.isEmpty() ? saved.port : static_cast<int>(sorted.indexOf(c.portName));
    c.baudIndex = saved.baudrate;
    c.parityIndex = saved.parity;
    c.dataBitsIndex = saved.databit;
    c.stopBitsIndex = saved.stopbits;
    c.address = saved.address;
    c.moduleAddress = static_cast<quint8>(saved.address & 0xFF);
    c.portText =
        PortStatusText(c.portName, c.baudIndex, c.parityIndex, c.dataBitsIndex, c.stopBitsIndex);
    return c;
}

namespace {
QComboBox* AddList(QFormLayout* form, QWidget* parent, const char* name, const QString& label,
                   const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setCurrentIndex(-1);
    form->addRow(label, list);
    return list;
}

// An index outside the list leaves it without a selection.
void SelectIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}
} // namespace

TSetComForm::TSetComForm(const QString& dataDir, const QStringList& ports, QWidget* parent)
    : QDialog(parent), dataDir_(dataDir) {
    setObjectName(QStringLiteral("SetComForm"));
    AddHelpKey(this, QStringLiteral("port"));
    setWindowTitle(tr("系统通信设置"));
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(tr("系统通信设置"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* form = new QFormLayout(group);
    comList_ = AddList(form, group, "CB_Com_list", tr("端口号："), {});
    // A serial device server's port is typed in: tcp://HOST:PORT.
    comList_->setEditable(true);
    comList_->setInsertPolicy(QComboBox::NoInsert);
    comList_->setMinimumWidth(160);
    baudList_ = AddList(form, group, "CB_Baudrate_list", tr("波特率："), BaudRateItems());
    parityList_ = AddList(form, group, "CB_Parity_list", tr("校验码："), ParityItems());
    dataBitsList_ = AddList(form, group, "CB_Databits_list", tr("数据位："), DataBitsItems());
    stopBitsList_ = AddList(form, group, "CB_Stopbits_list", tr("停止位："), StopBitsItems());
    auto* addrRow = new QHBoxLayout;
    editAddr_ = new QLineEdit(QStringLiteral("1"), group);
    editAddr_->setObjectName(QStringLiteral("Edit_Addr"));
    upDownAddr_ = new UpDown(editAddr_, 1, 255, group);
    upDownAddr_->setObjectName(QStringLiteral("UpDown_Addr"));
    addrRow->addWidget(editAddr_);
    addrRow->addWidget(upDownAddr_);
    form->addRow(tr("地    址："), addrRow);
    outer->addWidget(group);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("确定"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("取消"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    outer->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(cancel, &QPushButton::clicked, this, &TSetComForm::BitBtn2Click);

    FormCreate(ports);
}

void TSetComForm::FormCreate(const QStringList& ports) {
    // Sorted as text: COM1, COM10, COM2.
    QStringList sorted = ports;
    sorted.sort();
    comList_->addItems(sorted);
    // The network ports used lately follow the local ones; another can be typed in.
    QStringList recent;
    try {
        recent = LoadRecentPorts(dataDir_);
    } catch (const ConversionError&) {
        // Reported below with the rest of the file.
    }
    for (const QString& port : recent)
        if (comList_->findText(port) < 0) comList_->addItem(port);
    comList_->setCurrentIndex(-1);
    try {
        const SavedSerialSettings saved = LoadSerialSettings(dataDir_);
        // The stored device path wins over the index, which points elsewhere once adapters come
        // and go; a path that is not present leaves the list without a selection.
        const QString portName = LoadPortName(dataDir_).trimmed();
        if (IsNetworkPort(portName) && comList_->findText(portName) < 0)
            comList_->addItem(portName);
        if (portName.isEmpty())
            SelectIndex(comList_, saved.port);
        else
            comList_->setCurrentIndex(comList_->findText(portName));
        SelectIndex(baudList_, saved.baudrate);
        SelectIndex(parityList_, saved.parity);
        SelectIndex(dataBitsList_, saved.databit);
        SelectIndex(stopBitsList_, saved.stopbits);
        upDownAddr_->setPosition(saved.address);
    } catch (const ConversionError& e) {
        // The dialog still opens so that the settings can be written afresh.
        Ui().error(this, e.text());
    }
}

bool TSetComForm::BitBtn1Click() {
    SerialChoice c;
    try {
        // Stored as typed, however large: the module takes the address modulo 256.
        c.address = FieldToInt(tr("地址："), editAddr_->text(),
                               {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()});
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return false;
    }
    c.portIndex = comList_->currentIndex();
    c.baudIndex = baudList_->currentIndex();
    c.parityIndex = parityList_->currentIndex();
    c.dataBitsIndex = dataBitsList_->currentIndex();
    c.stopBitsIndex = stopBitsList_->currentIndex();
    const QString port = comList_->currentText().trimmed();
    // A network port is not one of the machine's: its index says nothing.
    if (IsNetworkPort(port)) c.portIndex = -1;
    try {
        SaveSerialSettings(
            dataDir_,
            {c.portIndex, c.baudIndex, c.parityIndex, c.dataBitsIndex, c.stopBitsIndex, c.address},
            port);
        if (IsNetworkPort(port)) AddRecentPort(dataDir_, port);
    } catch (const ConversionError& e) {
        // A file that cannot be written keeps the old settings everywhere.
        Ui().error(this, e.text());
        return false;
    }
    c.portText =
        QStringList{comList_->currentText(), baudList_->currentText(), parityList_->currentText(),
                    dataBitsList_->currentText(), stopBitsList_->currentText()}
            .join(QLatin1Char(','));
    c.portName = comList_->currentText().trimmed();
    c.moduleAddress = static_cast<quint8>(c.address & 0xFF);
    choice_ = c;
    accept();
    return true;
}

void TSetComForm::BitBtn2Click() {
    reject();
}
