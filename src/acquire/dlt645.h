#pragma once
// DL/T 645 data items: the meter address, the value templates of the item tables and the rows an
// answered item gives. Pure functions; the transactions live in the link.

#include "acquire/check.h"
#include "acquire/rows.h"
#include "store/catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <span>

// The two low decimal digits of the address as one packed-BCD byte (12 -> 0x12, 100 -> 0x00,
// 255 -> 0x55).
uint8_t AddressToBcd(uint8_t address);

// The six address bytes in wire order: AddressToBcd(address) then five zeros.
std::array<uint8_t, 6> MeterAddress(uint8_t address);

// Turns the data bytes of an answer (after the identifier, 0x33 already removed, least significant
// first) into text by the named template; unit is appended where the template carries one. An
// unknown template gives an empty text. The multi-row templates fill `items` (when given) and
// return their own name. Bytes beyond `data` read as zero; use Dlt645TemplateBytes to know
// whether an answer is long enough.
QString FormatDlt645Value(const QString& format, const QString& unit, std::span<const uint8_t> data,
                          QStringList* items = nullptr);

// Number of data bytes a template reads; 0 for an unknown template.
int Dlt645TemplateBytes(const QString& format);

// DI0 and DI1 of a 1997 item: the identifier number's low and high byte. Throws ConversionError
// when the text is not a number.
std::array<uint8_t, 2> Dlt645Identifier1997(const QString& infonum);

enum class Dlt645Year { Y1997, Y2007 };

// The grid rows of one answered item, in order: one row, or several for the multi-row templates.
// With a check quantity the value is checked (kW, kVar and kVA values in watts); a value that is
// not one number cannot pass its check and is marked failed. An answer shorter than its template
// gives the same rows showing UndecodableText(), marked failed, so later rows keep their places.
QList<AcquiredRow> Dlt645ItemRows(const Dlt645Item& item, std::span<const uint8_t> data,
                                  Dlt645Year year, const CheckSettings& settings,
                                  const TestPoint& point);

// Bytes [start, start + count) of the GBK form of text, back as text; a character cut in two at
// the end is dropped.
QString GbkSlice(const QString& text, int start, int count);
