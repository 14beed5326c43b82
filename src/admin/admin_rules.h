#pragma once
// The rules of the administration windows that need no window: the login check, the texts and
// lists of the scheme grid, the checks of a scheme before it is saved (including the register
// limit of the 亚奥 protocol) and of a new product model. The windows gather their control
// texts, call these and show the outcome.

#include "store/database.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <array>

// A message of the administration windows: its source text, translated each time it is used, so
// that the language installed at start-up applies (a QString made during static initialisation
// would be fixed before any translator exists).
class AdminMessage {
public:
    explicit constexpr AdminMessage(const char* source) : source_(source) {}
    operator QString() const { return QCoreApplication::translate("Admin", source_); }
    QString arg(const QString& a) const { return QString(*this).arg(a); }

private:
    const char* source_;
};

// Messages of the administration windows, exactly as the user sees them.
namespace AdminText {
inline constexpr AdminMessage DatabaseFailed{QT_TRANSLATE_NOOP("Admin", "操作数据库失败！")};
// The register count of the validation and the duplicate check of a new scheme use the
// half-width mark.
inline constexpr AdminMessage DatabaseFailedHalf{QT_TRANSLATE_NOOP("Admin", "操作数据库失败!")};
// Another station saved the scheme after this window loaded it.
inline constexpr AdminMessage SchemeChangedElsewhere{
    QT_TRANSLATE_NOOP("Admin", "方案 %1 已在别处被修改（载入之后）。是否用本窗口的内容覆盖？")};
inline constexpr AdminMessage UnknownUser{QT_TRANSLATE_NOOP("Admin", "对不起，用户名不存在！")};
inline constexpr AdminMessage WrongPassword{QT_TRANSLATE_NOOP("Admin", "对不起，密码不正确！")};
inline constexpr AdminMessage SchemeNameEmpty{QT_TRANSLATE_NOOP("Admin", "方式名称不能为空!")};
inline constexpr AdminMessage NoParameters{
    QT_TRANSLATE_NOOP("Admin", "已选参数列表为空,请添加参数!")};
inline constexpr AdminMessage EmptyCell{QT_TRANSLATE_NOOP("Admin", "对不起,界面配置数据不能为空!")};
inline constexpr AdminMessage YaaoTooManyRegisters{QT_TRANSLATE_NOOP(
    "Admin", "对不起,在亚奥协议下,配置的最大寄存器个数为127，您配置的寄存器个数已经大于了127!")};
inline constexpr AdminMessage DuplicateScheme{
    QT_TRANSLATE_NOOP("Admin", "对不起,系统有该名称的配置方式,不能重复!")};
inline constexpr AdminMessage ProductIncomplete{
    QT_TRANSLATE_NOOP("Admin", "请将新建信息填写完整！")};
inline constexpr AdminMessage RatioZero{
    QT_TRANSLATE_NOOP("Admin", "电压变比PT和电流变比CT不能配置为0！")};
inline constexpr AdminMessage ModelNameFormat{
    QT_TRANSLATE_NOOP("Admin", "产品型号命名格式填写不正确，请参照<KX2953B35-01>格式填写！")};
inline constexpr AdminMessage DuplicateProduct{
    QT_TRANSLATE_NOOP("Admin", "该产品型号系统有记录，不能重复添加！")};
} // namespace AdminText

// ---- Login -------------------------------------------------------------------------------------

enum class LoginResult { DatabaseError, UnknownUser, WrongPassword, Success };

// Checks a name and password against usertable, both trimmed first. The values are bound, so a
// quote or an "' or '1'='1" in either is just part of a name that does not exist.
LoginResult CheckLogin(ProductDatabase& db, const QString& user, const QString& password);

// ---- Scheme grid -------------------------------------------------------------------------------

// The drop-down lists of the grid: directions and enables, and the protocol names (index =
// TXXY).
QStringList FlagItems();     // "0xAA55", "0x0000"
QStringList ProtocolNames(); // "ModBus_RTU" .. "大唐协议"
// The protocol name of a TXXY value; empty outside 0..4.
QString ProtocolName(int txxy);
// The TXXY value of a protocol name; -1 for a text that is none of them.
int ProtocolNumber(const QString& name);

inline constexpr int kYaaoProtocol = 3;
inline constexpr int kYaaoMaxRegisters = 127;

// The editable cells of the grid as typed: values[0] is row 1 (UBLFX, UBL, IBLFX, IBL, PBLFX,
// PBL, EBLFX), values[1] row 3 (EBL, protocol name, SDBJXS, CSLXSN, FDBDSN, CSFHSN, GLYSFXSN),
// column 2 to 8 each.
struct SchemeCells {
    std::array<std::array<QString, 7>, 2> values;
    QString& at(int row, int column); // grid coordinates: row 1 or 3, column 2..8
    const QString& at(int row, int column) const;
};

// The cells of a stored scheme as the grid shows them. The protocol cell is empty for a TXXY
// outside the list (the window then keeps what it showed).
SchemeCells CellsOfScheme(const Scheme& scheme);

// The row written for the cells: texts trimmed, number cells converted (ConversionError for a
// text that is not an integer, naming nothing yet written), TXXY from the protocol name.
Scheme SchemeOfCells(const QString& name, const SchemeCells& cells);

// The first refusal of a scheme before anything is written, as a message; empty when it may be
// saved. In order: no parameters, an empty value cell (row 1 before row 3, column by column),
// a number cell that is not an integer (the conversion error's text, reported through
// *conversion), the register limit of the 亚奥 protocol. A failed register query gives
// DatabaseFailedHalf.
QString CheckScheme(ProductDatabase& db, const SchemeCells& cells, const QStringList& parameters,
                    bool* conversion = nullptr);

// The number of registers the parameters occupy (sum of Outpar.ZS; names not in the catalogue
// count nothing). False when a query fails.
bool CountRegisters(ProductDatabase& db, const QStringList& parameters, int& count);

// ---- Product models ----------------------------------------------------------------------------

// New model names look like "KX2953B35-01": "KX" first and "-" as the tenth character, read from
// the entry as typed (blanks included).
bool IsValidModelName(const QString& entry);

// The product group's controls: texts as typed and list indexes.
struct ProductEntry {
    QString name;   // Edit_Addcpxh, or the selected model for an update
    QString scheme; // CBox_Pz
    int btlgs = 3;
    int jxms = 0;
    QString pt = QStringLiteral("1");
    QString ct = QStringLiteral("1");
    int ctnum = 0;
    int xljsfs = 0;
};

// The first refusal of a new product before the database is asked, as a message; empty when
// it may be looked up and inserted. A PT or CT text that is not an integer reports the
// conversion error's text through *conversion.
QString CheckNewProduct(const ProductEntry& entry, bool* conversion = nullptr);

// The row written for the entry: names trimmed, PT and CT converted (ConversionError).
ProductModel ProductOfEntry(const ProductEntry& entry);

// ---- Layout of the scheme grid (4 rows x 9 columns) ---------------------------------------------

inline constexpr int kGridRows = 4;
inline constexpr int kGridColumns = 9;
// Row 0, column 0 and row 2 from column 2 on are headings, never edited.
bool IsGridFixedCell(int row, int column);
// The fixed drop-down list of a value cell (directions, enables, protocol); empty for the
// free-text cells and for the cells that are not edited at all.
QStringList GridCellList(int row, int column);
// The headings of row 0 and row 2, columns 1 to 8 (row 2 column 1 holds a button: empty).
QStringList GridHeadings(int row);
