#include "platform/VDX_unit_Locale.h"

#include <atomic>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <string>

#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

int DayOfYear(const TCalendarTime& c) {
    static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (c.month < 1 || c.month > 12)
        return 0;
    const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
    return kBefore[c.month - 1] + (leap && c.month > 2 ? 1 : 0) + c.day - 1;
}

// The user's locale, opened on its own with newlocale so that reading it
// neither depends on nor changes the process-wide setlocale state.
class TLocaleFormats {
public:
    TLocaleFormats() { Load(); }
    ~TLocaleFormats() {
        if (m_locale)
            ::freelocale(m_locale);
    }
    TLocaleFormats(const TLocaleFormats&) = delete;
    TLocaleFormats& operator=(const TLocaleFormats&) = delete;

    void Load() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_locale)
            ::freelocale(m_locale);
        m_locale = static_cast<locale_t>(nullptr);
        // An environment naming a locale that is not installed falls back to
        // the plain C locale, as setlocale would leave it.
        for (const char* name : {"", "C.UTF-8", "C"}) {
            m_locale = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
            if (m_locale)
                break;
        }
        m_thousands.store(FirstUnit(THOUSEP, u','), std::memory_order_relaxed);
        m_decimal.store(FirstUnit(RADIXCHAR, u'.'), std::memory_order_relaxed);
    }

    char16_t Thousands() const { return m_thousands.load(std::memory_order_relaxed); }
    char16_t Decimal() const { return m_decimal.load(std::memory_order_relaxed); }

    std::u16string Info(nl_item item) {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_locale ? FromUtf8(::nl_langinfo_l(item, m_locale)) : std::u16string();
    }

    std::u16string Format(nl_item formatItem, const TCalendarTime& c) {
        struct tm tm {};
        tm.tm_year = c.year - 1900;
        tm.tm_mon = c.month - 1;
        tm.tm_mday = c.day;
        tm.tm_hour = c.hour;
        tm.tm_min = c.minute;
        tm.tm_sec = c.second;
        tm.tm_wday = c.dayOfWeek;
        tm.tm_yday = DayOfYear(c);
        tm.tm_isdst = -1;
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_locale)
            return {};
        const char* format = ::nl_langinfo_l(formatItem, m_locale);
        if (!format || !*format)
            return {};
        char buffer[256];
        const std::size_t n = ::strftime_l(buffer, sizeof buffer, format, &tm, m_locale);
        return FromUtf8(std::string_view(buffer, n));
    }

private:
    char16_t FirstUnit(nl_item item, char16_t fallback) {
        const char* text = m_locale ? ::nl_langinfo_l(item, m_locale) : nullptr;
        if (!text || !*text)
            return fallback;
        const std::u16string decoded = FromUtf8(text);
        return decoded.empty() ? fallback : decoded[0];
    }

    std::mutex m_lock;
    locale_t m_locale = static_cast<locale_t>(nullptr);
    std::atomic<char16_t> m_thousands{u','};
    std::atomic<char16_t> m_decimal{u'.'};
};

TLocaleFormats& Formats() {
    static TLocaleFormats formats;
    return formats;
}

} // namespace

char16_t ThousandSeparator() {
    return Formats().Thousands();
}

char16_t DecimalSeparator() {
    return Formats().Decimal();
}

std::u16string FormatShortDate(const TCalendarTime& c) {
    return Formats().Format(D_FMT, c);
}

std::u16string FormatLongTime(const TCalendarTime& c) {
    return Formats().Format(T_FMT, c);
}

std::u16string MonthName(int month) {
    if (month < 1 || month > 12)
        return {};
    return Formats().Info(static_cast<nl_item>(MON_1 + month - 1));
}

void ReloadLocaleFormats() {
    Formats().Load();
}

} // namespace vdx
