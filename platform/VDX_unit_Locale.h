#pragma once
// The user's number and date formats, from the C library's locale
// (LC_ALL from the environment), read once on first use.

#include <string>

#include "platform/VDX_unit_Time.h"

namespace vdx {

// "," where the locale defines none (C, POSIX).
char16_t ThousandSeparator();
// "." where the locale defines none.
char16_t DecimalSeparator();

// The locale's short date (D_FMT) and long time (T_FMT) of a calendar time.
std::u16string FormatShortDate(const TCalendarTime& c);
std::u16string FormatLongTime(const TCalendarTime& c);

// The full name of month 1..12 (MON_1 ..), empty for any other number.
std::u16string MonthName(int month);

// Re-reads the locale; tests call it after changing LC_ALL.
void ReloadLocaleFormats();

} // namespace vdx
