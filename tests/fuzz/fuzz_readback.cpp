// The module's answers to the configuration read-back, the calibration backup and restore, and
// the calibration steps, each answer taken from the input; then what the words read back become
// (the page's field texts, the differences, the model name, the backup's record lines).
//
// The first byte holds the module address; then each exchange takes a control byte and a length
// byte from the input: control bit 7 fails the line, bit 0 puts the header a well-behaved module
// would send (the request's address and code, and the byte count of a read or the echo of a
// write) before the input's bytes, bit 1 appends their CRC. The line ends when the input does.

#include "calib/calibration.h"
#include "calib/calibration_backup.h"
#include "calib/configuration_blocks.h"
#include "calib/configuration_download.h"
#include "calib/download_check.h"
#include "calib/register_words.h"
#include "fuzz_input.h"
#include "link/modbus_frames.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

class FuzzedLink : public Link {
public:
    explicit FuzzedLink(FuzzInput& in) : in_(in) {}

    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        if (in_.empty()) return std::nullopt;
        const uint8_t control = in_.Byte();
        const std::vector<uint8_t> body = in_.Bytes(in_.Byte());
        if (control & 0x80) return std::nullopt;
        std::vector<uint8_t> reply;
        if ((control & 1) && request.size() >= 6) {
            const uint8_t function = request[1];
            if (function == kFcWriteRegister || function == kFcWriteRegisters ||
                function == kFcWriteCalibration) {
                reply.assign(request.begin(), request.begin() + 6);
            } else {
                reply = {request[0], function, static_cast<uint8_t>(2 * request[5])};
            }
        }
        reply.insert(reply.end(), body.begin(), body.end());
        if (control & 2) {
            const uint16_t crc = Crc16(reply);
            reply.push_back(static_cast<uint8_t>(crc & 0xFF));
            reply.push_back(static_cast<uint8_t>(crc >> 8));
        }
        // The port delivers at most the bytes the read asked for.
        if (params.readSize > 0 && reply.size() > static_cast<std::size_t>(params.readSize))
            reply.resize(static_cast<std::size_t>(params.readSize));
        return reply;
    }
    bool IsOpen() const override { return true; }

private:
    FuzzInput& in_;
};

bool Covers(const RegisterWords& words, uint16_t first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (!words.count(static_cast<uint16_t>(first + i))) return false;
    return true;
}

// Whatever words came back, the page's texts and the comparison behave.
void CheckFieldsOf(const RegisterWords& held, uint16_t flipRegister, uint16_t flipMask) {
    const std::vector<DownloadField> fields = ConfigurationFieldTable();
    for (const DownloadField& field : fields) {
        const std::optional<QString> text = FieldValueText(field, held);
        const bool present =
            held.count(field.reg) &&
            (field.part != FieldPart::Rated32 || held.count(static_cast<uint16_t>(field.reg + 1)));
        if (text.has_value() != present) __builtin_trap();
        if (!text) continue;
        if (text->isEmpty()) __builtin_trap();
        if (field.part == FieldPart::Hex && text->size() != 4) __builtin_trap();
        if (field.part == FieldPart::HighByte || field.part == FieldPart::LowByte) {
            bool ok = false;
            if (text->toUInt(&ok) > 255 || !ok) __builtin_trap();
        }
    }
    // A module that holds exactly what was written shows no difference ...
    if (!CompareDownload(fields, held, held).empty()) __builtin_trap();
    // ... and one word it holds differently shows at least one, whichever register it is and
    // whichever of its bits differ: the input's mask, then each bit alone, on the register the
    // input picks among those held.
    if (!held.empty()) {
        auto flipped = held.begin();
        std::advance(flipped, flipRegister % held.size());
        std::vector<uint16_t> masks{flipMask};
        for (int bit = 0; bit < 16; ++bit)
            masks.push_back(static_cast<uint16_t>(1u << bit));
        for (const uint16_t mask : masks) {
            if (mask == 0) continue;
            RegisterWords written = held;
            written[flipped->first] = static_cast<uint16_t>(flipped->second ^ mask);
            const std::vector<FieldDifference> differences = CompareDownload(fields, written, held);
            if (differences.empty()) __builtin_trap();
            for (const FieldDifference& d : differences)
                if (d.name.isEmpty() || d.written == d.readBack || DifferenceLine(d).isEmpty())
                    __builtin_trap();
        }
    }
    // The model name from the calibration words: one character per byte around the code.
    if (Covers(held, kCalibrationBlockRegister, kCalibrationBlockWords)) {
        std::vector<uint16_t> words;
        for (uint16_t i = 0; i < kCalibrationBlockWords; ++i)
            words.push_back(held.at(static_cast<uint16_t>(kCalibrationBlockRegister + i)));
        for (int protocol = -1; protocol <= 5; ++protocol) {
            const QString code = FrameFormatCode(protocol, flipMask % 5);
            if (RebuildModelName(words, code).size() != 10 + code.size()) __builtin_trap();
        }
    }
}

// The backup's record lines give back the very words, and the restore's runs cover them once.
void CheckBackupOf(const RegisterWords& area) {
    if (BackupFromDetails(BackupDetails(area)) != area) __builtin_trap();
    std::size_t words = 0;
    for (const WordRun& run : RunsOf(area, 125)) {
        if (run.words.empty() || run.words.size() > 125) __builtin_trap();
        for (std::size_t i = 0; i < run.words.size(); ++i)
            if (area.at(static_cast<uint16_t>(run.first + i)) != run.words[i]) __builtin_trap();
        words += run.words.size();
    }
    if (words != area.size()) __builtin_trap();
}

// Every register a calibration step says it wrote lies in the segment or is the state flag.
void CheckWrittenBy(int segment, const RegisterWords& written) {
    const uint16_t base = SegmentBase(segment);
    for (const auto& [reg, word] : written)
        if (reg != calib::kStateFlag && (reg < base || reg >= base + calib::kSegmentWords))
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t address = in.Byte();
    const uint8_t choice = in.Byte();
    const uint16_t flipRegister = in.Word();
    const uint16_t flipMask = in.Word();
    FuzzedLink link(in);

    // The configuration read-back.
    const std::size_t listWords = choice % 200;
    RegisterWords held;
    const bool readBack = ReadBackDownload(link, address, listWords, held);
    if (readBack && (!Covers(held, kUserBlock1Register, kUserReadBackWords) ||
                     !Covers(held, kCalibrationBlockRegister, kCalibrationBlockWords) ||
                     !Covers(held, kOutputListRegister, listWords)))
        __builtin_trap();
    CheckFieldsOf(held, flipRegister, flipMask);

    // The calibration backup, its record lines and its restore.
    const std::optional<RegisterWords> area =
        ReadCalibrationArea(link, address, CalibrationAreaRanges(choice & 0x80));
    if (area) {
        CheckBackupOf(*area);
        const RestoreOutcome restore = RestoreCalibrationArea(link, address, *area);
        if (!restore.readBack && !restore.differences.empty()) __builtin_trap();
    }

    // The calibration steps over what the module answers.
    const int segment = 1 + choice % 3;
    const bool hz60 = choice & 0x40;
    CalibrationState state;
    state.SourceActivePower = static_cast<int16_t>(flipMask);
    RegisterWords written;
    int lines = 0;
    const CalibrationLog log = [&lines](const QString&) { ++lines; };
    RunVipCalibration(link, address, segment, state, log, &written);
    RunAnglePhaseCompensation(link, address, segment, hz60, state, log, &written);
    RunPowerCompensation(link, address, segment, hz60, flipRegister / 10.0, (flipMask >> 8) / 10.0,
                         state, log, &written);
    CheckWrittenBy(segment, written);
    if (lines == 0) __builtin_trap();
    return 0;
}
