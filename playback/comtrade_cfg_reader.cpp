#include "comtrade_cfg_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "comtrade_number.h"
#include "debug_output.h"

namespace {

// Code units of the two encodings, loaded without alignment assumptions.
struct NarrowText {
    const unsigned char* bytes;
    size_t size;
    char16_t Unit(size_t i) const { return bytes[i]; }
};
struct WideText {
    const unsigned char* bytes;
    size_t size;  // in units
    char16_t Unit(size_t i) const { return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); }
};

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t more = c < 0x80             ? 0
                      : (c & 0xE0) == 0xC0 ? 1
                      : (c & 0xF0) == 0xE0 ? 2
                      : (c & 0xF8) == 0xF0 ? 3
                                           : 4;
        if (more == 4 || (more == 1 && c < 0xC2) || more >= text.size() - i) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

WideString DecodeNarrow(std::string_view text) {
    if (IsUtf8(text)) return Utf8ToUtf16(text);
    WideString latin1(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) latin1[i] = static_cast<unsigned char>(text[i]);
    return latin1;
}

template <class Text>
class Grammar {
public:
    Grammar(const Text& text, ComtradeConfig* config) : text_(text), config_(config) {}

    HRESULT Run() {
        ComtradeConfig& c = *config_;
        if (!NextLine()) return 0;
        String(0, &c.station_name);
        String(1, &c.rec_dev_id);
        String(2, &c.rev_year);

        if (!NextLine()) return 0;
        int32_t total = 0, analog = 0, digital = 0;
        Int(0, &total);
        Int(1, &analog);
        Int(2, &digital);
        if (!(total > 0 && int64_t{analog} + digital == total)) {
            DebugPrintf("CFG 错误: 通道数设置不正确 (总通道数=%d, 模拟量=%d, 开关量=%d) \n", total, analog,
                        digital);
            return CComtradeCfgReader::kChannelCountError;
        }
        for (int32_t i = 0; i < analog; ++i) {
            if (!NextLine()) return 0;
            ComtradeAnalogChannel channel;
            String(1, &channel.ch_id, 63);
            String(2, &channel.ph, 2);
            String(3, &channel.ccbm, 63);
            String(4, &channel.uu, 31);
            Float(5, &channel.a);
            Float(6, &channel.b);
            Float(7, &channel.skew);
            Int(8, &channel.min);
            Int(9, &channel.max);
            Float(10, &channel.primary);
            Float(11, &channel.secondary);
            WideString ps;
            if (String(12, &ps, 1) && !ps.empty()) channel.ps = ps[0];
            c.analog.push_back(std::move(channel));
        }
        for (int32_t i = 0; i < digital; ++i) {
            if (!NextLine()) return 0;
            ComtradeDigitalChannel channel;
            String(1, &channel.ch_id, 63);
            String(2, &channel.ph, 2);
            String(3, &channel.ccbm, 63);
            Int(4, &channel.y);
            c.digital.push_back(std::move(channel));
        }

        if (!NextLine()) return 0;
        Float(0, &c.lf);

        if (!NextLine()) return 0;
        int32_t nrates = 0;
        Int(0, &nrates);
        if (nrates == 0 && !NextLine()) return 0;
        for (int32_t i = 0; i < nrates; ++i) {
            if (!NextLine()) return 0;
            ComtradeSampleRate rate;
            Float(0, &rate.samp);
            Int(1, &rate.endsamp);
            c.rates.push_back(rate);
        }

        if (!NextLine()) return 0;
        c.firstTime = Trimmed(lineBegin_, lineEnd_);
        if (!NextLine()) return 0;
        c.triggerTime = Trimmed(lineBegin_, lineEnd_);

        if (!NextLine()) return 0;
        WideString type;
        String(0, &type);
        c.binary = FileTypeIs(type, u"ASCII", 5) ? 0 : 1;
        c.format = !c.binary                                              ? ComtradeDataFormat::kAscii
                   : type.size() == 8 && FileTypeIs(type, u"BINARY32", 8) ? ComtradeDataFormat::kBinary32
                   : type.size() == 7 && FileTypeIs(type, u"FLOAT32", 7)  ? ComtradeDataFormat::kFloat32
                                                                          : ComtradeDataFormat::kBinary16;

        if (!NextLine()) return 0;
        float timemult = c.timemult;
        if (Float(0, &timemult) && !(timemult >= 0.000001f)) {
            DebugPrintf("CFG 错误: TimeMult 不能 = 0 ! \n");
            return CComtradeCfgReader::kTimeMultError;
        }
        c.timemult = timemult;
        return 0;
    }

private:
    static constexpr size_t kMaxFields = 13;

    // The next line-feed-terminated line; a final piece without one is no line.
    bool NextLine() {
        size_t i = next_;
        while (i < text_.size && text_.Unit(i) != u'\n') ++i;
        if (i >= text_.size) return false;
        lineBegin_ = next_;
        lineEnd_ = i;
        next_ = i + 1;
        // Fields end at "," or the line's end; only the first few matter.
        fieldCount_ = 0;
        size_t start = lineBegin_;
        for (size_t k = lineBegin_; k <= lineEnd_ && fieldCount_ < kMaxFields; ++k) {
            if (k == lineEnd_ || text_.Unit(k) == u',') {
                fields_[fieldCount_][0] = start;
                fields_[fieldCount_][1] = k;
                ++fieldCount_;
                start = k + 1;
            }
        }
        return true;
    }

    WideString Trimmed(size_t begin, size_t end) const {
        while (begin < end && IsBlankUnit(text_.Unit(begin))) ++begin;
        while (end > begin && IsBlankUnit(text_.Unit(end - 1))) --end;
        return Decode(begin, end);
    }
    static bool IsBlankUnit(char16_t u) { return u < 0x80 && comtrade::IsBlank(static_cast<char>(u)); }

    WideString Decode(size_t begin, size_t end) const;

    // An absent field leaves its target alone; false then.
    bool String(size_t index, WideString* target, size_t width = SIZE_MAX) const {
        if (index >= fieldCount_) return false;
        *target = Trimmed(fields_[index][0], fields_[index][1]);
        if (target->size() > width) {
            size_t cut = width;
            if (cut > 0 && (*target)[cut - 1] >= 0xD800 && (*target)[cut - 1] < 0xDC00) --cut;
            target->resize(cut);
        }
        return true;
    }

    // The field's first 64 units as 8-bit text for the number readers; false
    // when the field is absent or holds nothing but blanks.
    bool NumberText(size_t index, char* text, size_t* length) const {
        if (index >= fieldCount_) return false;
        size_t begin = fields_[index][0], end = fields_[index][1];
        size_t n = std::min<size_t>(end - begin, comtrade::kNumberChars);
        bool blank = true;
        for (size_t k = 0; k < n; ++k) {
            char16_t u = text_.Unit(begin + k);
            text[k] = u < 0x80 ? static_cast<char>(u) : '?';
            blank = blank && comtrade::IsBlank(text[k]);
        }
        *length = n;
        return !blank || (end - begin > n);
    }
    bool Float(size_t index, float* target) const {
        char text[comtrade::kNumberChars];
        size_t n;
        if (!NumberText(index, text, &n)) return false;
        double value;
        comtrade::ParseFloat(text, text + n, &value);
        *target = static_cast<float>(value);
        return true;
    }
    bool Int(size_t index, int32_t* target) const {
        char text[comtrade::kNumberChars];
        size_t n;
        if (!NumberText(index, text, &n)) return false;
        comtrade::ParseInt(text, text + n, target);
        return true;
    }

    static bool FileTypeIs(const WideString& type, const char16_t* name, size_t n) {
        if (type.size() < n) return false;
        for (size_t i = 0; i < n; ++i) {
            char16_t u = type[i];
            if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
            if (u != name[i]) return false;
        }
        return true;
    }

    const Text& text_;
    ComtradeConfig* config_;
    size_t next_ = 0;
    size_t lineBegin_ = 0, lineEnd_ = 0;
    size_t fields_[kMaxFields][2] = {};
    size_t fieldCount_ = 0;
};

template <>
WideString Grammar<NarrowText>::Decode(size_t begin, size_t end) const {
    return DecodeNarrow({reinterpret_cast<const char*>(text_.bytes) + begin, end - begin});
}

template <>
WideString Grammar<WideText>::Decode(size_t begin, size_t end) const {
    WideString units(end - begin, u'\0');
    for (size_t i = begin; i < end; ++i) units[i - begin] = static_cast<WCHAR>(text_.Unit(i));
    return units;
}

}  // namespace

HRESULT CComtradeCfgReader::ReadNarrow(const unsigned char* text, size_t size, ComtradeConfig* config) {
    // A UTF-8 byte-order mark is no part of the station name.
    if (size >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
        text += 3;
        size -= 3;
    }
    NarrowText source{text, size};
    return Grammar<NarrowText>(source, config).Run();
}

HRESULT CComtradeCfgReader::ReadWide(const unsigned char* text, size_t units, ComtradeConfig* config) {
    WideText source{text, units};
    return Grammar<WideText>(source, config).Run();
}
