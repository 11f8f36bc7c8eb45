// Date and time functions of the library. A date-time is a Double: whole days since
// 30 December 1899 plus the fraction of the day (negative values count the days backwards and
// keep a positive time of day, as the game's platform did).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script {

namespace {

constexpr int64_t kEpochShift = 25569; // 1899-12-30 is 25569 days before 1970-01-01
constexpr int64_t kMinDays = -693593;  // 0001-01-01
constexpr int64_t kMaxDays = 2958465;  // 9999-12-31

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool ValidDate(int64_t y, int64_t m, int64_t d) {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 &&
           d <= DaysInMonth(static_cast<int>(y), static_cast<int>(m));
}

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

// strftime-style locale pattern to the pattern letters of FormatDateTime.
std::string FromStrftime(const char* fmt, char& separator) {
    std::string out;
    separator = 0;
    for (const char* p = fmt; p && *p; ++p) {
        if (*p != '%') {
            if (!separator && !std::isalnum(static_cast<unsigned char>(*p)) && *p != ' ') {
                separator = *p;
            }
            out.push_back(*p);
            continue;
        }
        ++p;
        while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0') {
            ++p;
        }
        switch (*p) {
        case 'd':
            out += "dd";
            break;
        case 'e':
            out += "d";
            break;
        case 'm':
            out += "mm";
            break;
        case 'y':
            out += "yy";
            break;
        case 'Y':
            out += "yyyy";
            break;
        case 'H':
        case 'I':
            out += "hh";
            break;
        case 'M':
            out += "nn";
            break;
        case 'S':
            out += "ss";
            break;
        case 'p':
            out += "ampm";
            break;
        case 'b':
        case 'h':
            out += "mmm";
            break;
        case 'B':
            out += "mmmm";
            break;
        case 'a':
            out += "ddd";
            break;
        case 'A':
            out += "dddd";
            break;
        case 'D':
            out += "mm/dd/yy";
            separator = separator ? separator : '/';
            break;
        case 'T':
            out += "hh:nn:ss";
            break;
        case 'R':
            out += "hh:nn";
            break;
        case '\0':
            return out;
        default:
            break;
        }
    }
    return out;
}

bool StartsNoCase(std::string_view s, size_t at, std::string_view what) {
    if (at + what.size() > s.size()) {
        return false;
    }
    for (size_t i = 0; i < what.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != what[i]) {
            return false;
        }
    }
    return true;
}

std::string Pad2(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

void FormatInto(std::string& out, std::string_view f, const DateParts& t, int depth);

void FormatInto(std::string& out, std::string_view f, const DateParts& t, int depth) {
    const DateFormats& formats = SystemDateFormats();
    bool lastWasHour = false;
    size_t i = 0;
    while (i < f.size()) {
        char c = f[i];
        char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        auto runOf = [&](char letter) {
            size_t n = 0;
            while (i + n < f.size() &&
                   std::tolower(static_cast<unsigned char>(f[i + n])) == letter) {
                ++n;
            }
            return n;
        };
        if (c == '\'' || c == '"') {
            size_t j = f.find(c, i + 1);
            size_t end = j == std::string_view::npos ? f.size() : j;
            out.append(f.substr(i + 1, end - i - 1));
            i = j == std::string_view::npos ? f.size() : j + 1;
            continue;
        }
        if (StartsNoCase(f, i, "am/pm")) {
            out += t.hour < 12 ? "am" : "pm";
            i += 5;
            continue;
        }
        if (StartsNoCase(f, i, "a/p")) {
            out += t.hour < 12 ? "a" : "p";
            i += 3;
            continue;
        }
        if (StartsNoCase(f, i, "ampm")) {
            out += t.hour < 12 ? "AM" : "PM";
            i += 4;
            continue;
        }
        switch (lc) {
        case 'd': {
            size_t n = runOf('d');
            i += n;
            if (n == 1) {
                out += std::to_string(t.day);
            } else if (n == 2) {
                out += Pad2(t.day);
            } else if (n == 3) {
                out += kShortDays[t.dayOfWeek - 1];
            } else if (n == 4) {
                out += kLongDays[t.dayOfWeek - 1];
            } else if (depth < 2) {
                FormatInto(out, formats.shortDate, t, depth + 1);
            }
            lastWasHour = false;
            continue;
        }
        case 'm': {
            size_t n = runOf('m');
            i += n;
            if (lastWasHour && n <= 2) {
                out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
            } else if (n == 1) {
                out += std::to_string(t.month);
            } else if (n == 2) {
                out += Pad2(t.month);
            } else if (n == 3) {
                out += kShortMonths[t.month - 1];
            } else {
                out += kLongMonths[t.month - 1];
            }
            lastWasHour = false;
            continue;
        }
        case 'y': {
            size_t n = runOf('y');
            i += n;
            if (n <= 2) {
                out += Pad2(t.year % 100);
            } else {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%04d", t.year);
                out += buf;
            }
            lastWasHour = false;
            continue;
        }
        case 'h': {
            size_t n = runOf('h');
            i += n;
            out += n == 1 ? std::to_string(t.hour) : Pad2(t.hour);
            lastWasHour = true;
            continue;
        }
        case 'n': {
            size_t n = runOf('n');
            i += n;
            out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
            lastWasHour = false;
            continue;
        }
        case 's': {
            size_t n = runOf('s');
            i += n;
            out += n == 1 ? std::to_string(t.second) : Pad2(t.second);
            lastWasHour = false;
            continue;
        }
        case 'z': {
            size_t n = runOf('z');
            i += n;
            char buf[16];
            std::snprintf(buf, sizeof buf, n >= 3 ? "%03d" : "%d", t.millisecond);
            out += buf;
            continue;
        }
        case 't': {
            size_t n = runOf('t');
            i += n;
            if (depth < 2) {
                FormatInto(out, n == 1 ? std::string_view("hh:nn") : formats.longTime, t,
                           depth + 1);
            }
            continue;
        }
        case 'c': {
            ++i;
            if (depth < 2) {
                FormatInto(out, formats.shortDate, t, depth + 1);
                if (t.hour || t.minute || t.second || t.millisecond) {
                    out.push_back(' ');
                    FormatInto(out, formats.longTime, t, depth + 1);
                }
            }
            continue;
        }
        case '/':
            out.push_back(formats.dateSeparator);
            ++i;
            continue;
        case ':':
            out.push_back(formats.timeSeparator);
            ++i;
            continue;
        default:
            out.push_back(c);
            ++i;
            continue;
        }
    }
}

double CheckedDateTime(double d) {
    if (!std::isfinite(d) || d < static_cast<double>(kMinDays) - 1 ||
        d > static_cast<double>(kMaxDays) + 1) {
        lib::Fail("Invalid argument to date encode");
    }
    return d;
}

// Numbers of a date or time text, in order.
std::vector<int64_t> NumbersOf(std::string_view s, bool& ok) {
    std::vector<int64_t> numbers;
    ok = true;
    size_t i = 0;
    while (i < s.size()) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            int64_t v = 0;
            size_t digits = 0;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                v = v * 10 + (s[i] - '0');
                ++i;
                if (++digits > 9) {
                    ok = false;
                    return numbers;
                }
            }
            numbers.push_back(v);
        } else {
            ++i;
        }
    }
    return numbers;
}

double Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

double CurrentDateTime() {
    auto now = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&secs, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ms.count()));
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
    double date = static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kEpochShift);
    double time =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
    return date < 0 ? date - time : date + time;
}

DateParts DecodeDateTime(double dateTime) {
    DateParts p;
    if (!std::isfinite(dateTime)) {
        return p;
    }
    dateTime = std::clamp(dateTime, static_cast<double>(kMinDays), kMaxDays + 0.99999);
    double whole = std::trunc(dateTime);
    int64_t days = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(dateTime - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms = 86399999;
    }
    CivilFromDays(days - kEpochShift, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    p.dayOfWeek = static_cast<int>(((days + 693594) % 7 + 7) % 7) + 1;
    return p;
}

const DateFormats& SystemDateFormats() {
    static const DateFormats kFormats = [] {
        DateFormats f;
        const char* dateFmt = "%m/%d/%y";
        const char* timeFmt = "%H:%M:%S";
        locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        std::string d;
        std::string t;
        char sep = 0;
        char tsep = 0;
        if (loc) {
            d = FromStrftime(nl_langinfo_l(D_FMT, loc), sep);
            t = FromStrftime(nl_langinfo_l(T_FMT, loc), tsep);
            freelocale(loc);
        }
        if (d.empty()) {
            d = FromStrftime(dateFmt, sep);
        }
        if (t.empty()) {
            t = FromStrftime(timeFmt, tsep);
        }
        f.shortDate = d;
        f.longTime = t;
        f.dateSeparator = sep ? sep : '/';
        f.timeSeparator = tsep ? tsep : ':';
        return f;
    }();
    return kFormats;
}

std::string FormatDateTimeText(std::string_view pattern, double dateTime) {
    std::string out;
    FormatInto(out, pattern.empty() ? std::string_view("c") : pattern, DecodeDateTime(dateTime), 0);
    return out;
}

namespace lib {

namespace {

double StrToDateValue(const std::string& text) {
    bool ok = false;
    std::vector<int64_t> n = NumbersOf(text, ok);
    if (!ok || n.size() < 2 || n.size() > 3) {
        Fail("'" + text + "' is not a valid date");
    }
    // The order of day, month and year follows the short date pattern.
    std::string order;
    for (char c : SystemDateFormats().shortDate) {
        char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((lc == 'd' || lc == 'm' || lc == 'y') && order.find(lc) == std::string::npos) {
            order.push_back(lc);
        }
    }
    if (order.size() != 3) {
        order = "mdy";
    }
    int64_t y = DecodeDateTime(Today()).year;
    int64_t m = 0;
    int64_t d = 0;
    size_t k = 0;
    for (char c : order) {
        if (c == 'y' && n.size() == 2) {
            continue;
        }
        int64_t v = n[k++];
        if (c == 'd') {
            d = v;
        } else if (c == 'm') {
            m = v;
        } else {
            // Two-digit years fall in a window around 2000.
            y = v < 100 ? (v < 50 ? 2000 + v : 1900 + v) : v;
        }
    }
    if (!ValidDate(y, m, d)) {
        Fail("'" + text + "' is not a valid date");
    }
    return EncodeDateTime(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
}

double StrToTimeValue(const std::string& text) {
    bool ok = false;
    std::vector<int64_t> n = NumbersOf(text, ok);
    if (!ok || n.empty() || n.size() > 4) {
        Fail("'" + text + "' is not a valid time");
    }
    int64_t h = n[0];
    int64_t mi = n.size() > 1 ? n[1] : 0;
    int64_t s = n.size() > 2 ? n[2] : 0;
    int64_t ms = n.size() > 3 ? n[3] : 0;
    bool pm = false;
    bool am = false;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        pm = pm || StartsNoCase(text, i, "pm");
        am = am || StartsNoCase(text, i, "am");
    }
    if ((pm || am) && (h < 1 || h > 12)) {
        Fail("'" + text + "' is not a valid time");
    }
    if (pm && h < 12) {
        h += 12;
    } else if (am && h == 12) {
        h = 0;
    }
    if (h > 23 || mi > 59 || s > 59 || ms > 999) {
        Fail("'" + text + "' is not a valid time");
    }
    return EncodeDateTime(1899, 12, 30, static_cast<int>(h), static_cast<int>(mi),
                          static_cast<int>(s), static_cast<int>(ms));
}

bool Now(TPasCalc&, Params&, TVar& r) {
    r.value = Value::Double(CurrentDateTime());
    return true;
}

bool Date(TPasCalc&, Params&, TVar& r) {
    r.value = Value::Double(Today());
    return true;
}

bool Time(TPasCalc&, Params&, TVar& r) {
    const double now = CurrentDateTime();
    r.value = Value::Double(now - std::trunc(now));
    return true;
}

bool DateToStr(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Str(
        FormatDateTimeText(SystemDateFormats().shortDate, CheckedDateTime(Float(p[0].value))));
    return true;
}

bool TimeToStr(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Str(
        FormatDateTimeText(SystemDateFormats().longTime, CheckedDateTime(Float(p[0].value))));
    return true;
}

bool StrToDate(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Double(StrToDateValue(Text(p[0].value)));
    return true;
}

bool StrToTime(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Double(StrToTimeValue(Text(p[0].value)));
    return true;
}

bool FormatDateTime(TPasCalc&, Params& p, TVar& r) {
    std::string pattern = Text(p[0].value);
    r.value = Value::Str(FormatDateTimeText(pattern, CheckedDateTime(Float(p[1].value))));
    return true;
}

bool DayOfWeek(TPasCalc&, Params& p, TVar& r) {
    DateParts d = DecodeDateTime(CheckedDateTime(Float(p[0].value)));
    r.value = Value::Word(static_cast<uint16_t>(d.dayOfWeek));
    return true;
}

bool IncMonth(TPasCalc&, Params& p, TVar& r) {
    double dt = CheckedDateTime(Float(p[0].value));
    int64_t n = Truncated(p[1].value);
    if (n < -120000 || n > 120000) {
        Fail("Invalid argument to date encode");
    }
    DateParts d = DecodeDateTime(dt);
    int64_t months = static_cast<int64_t>(d.year) * 12 + (d.month - 1) + n;
    int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
    int m = static_cast<int>(months - y * 12) + 1;
    if (y < 1 || y > 9999) {
        Fail("Invalid argument to date encode");
    }
    int day = std::min(d.day, DaysInMonth(static_cast<int>(y), m));
    double time = std::fabs(dt - std::trunc(dt));
    double date = EncodeDateTime(static_cast<int>(y), m, day);
    r.value = Value::Double(date < 0 ? date - time : date + time);
    return true;
}

bool DecodeDate(TPasCalc&, Params& p, TVar& r) {
    if (!IsVar(p[1]) || !IsVar(p[2]) || !IsVar(p[3])) {
        return false;
    }
    DateParts d = DecodeDateTime(CheckedDateTime(Float(p[0].value)));
    p[1].value = Value::Word(static_cast<uint16_t>(d.year));
    p[2].value = Value::Word(static_cast<uint16_t>(d.month));
    p[3].value = Value::Word(static_cast<uint16_t>(d.day));
    r.value = p[0].value;
    return true;
}

bool DecodeTime(TPasCalc&, Params& p, TVar& r) {
    if (!IsVar(p[1]) || !IsVar(p[2]) || !IsVar(p[3]) || !IsVar(p[4])) {
        return false;
    }
    DateParts d = DecodeDateTime(CheckedDateTime(Float(p[0].value)));
    p[1].value = Value::Word(static_cast<uint16_t>(d.hour));
    p[2].value = Value::Word(static_cast<uint16_t>(d.minute));
    p[3].value = Value::Word(static_cast<uint16_t>(d.second));
    p[4].value = Value::Word(static_cast<uint16_t>(d.millisecond));
    r.value = p[0].value;
    return true;
}

bool EncodeDate(TPasCalc&, Params& p, TVar& r) {
    int64_t parts[3];
    for (int i = 0; i < 3; ++i) {
        parts[i] = Integer(p[static_cast<size_t>(i)].value);
        if (parts[i] < 0 || parts[i] > 65535) {
            Fail("Invalid argument to date encode");
        }
    }
    if (!ValidDate(parts[0], parts[1], parts[2])) {
        Fail("Invalid argument to date encode");
    }
    r.value = Value::Double(EncodeDateTime(static_cast<int>(parts[0]), static_cast<int>(parts[1]),
                                           static_cast<int>(parts[2])));
    return true;
}

bool EncodeTime(TPasCalc&, Params& p, TVar& r) {
    int64_t parts[4];
    for (int i = 0; i < 4; ++i) {
        parts[i] = Integer(p[static_cast<size_t>(i)].value);
        if (parts[i] < 0 || parts[i] > 65535) {
            Fail("Invalid argument to time encode");
        }
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 999) {
        Fail("Invalid argument to time encode");
    }
    r.value = Value::Double(
        (parts[0] * 3600000.0 + parts[1] * 60000.0 + parts[2] * 1000.0 + parts[3]) / 86400000.0);
    return true;
}

bool YearDays(TPasCalc&, Params& p, TVar& r) {
    DateParts d = DecodeDateTime(CheckedDateTime(Float(p[0].value)));
    r.value = Value::Word(IsLeap(d.year) ? 366 : 365);
    return true;
}

bool YearFrac(TPasCalc&, Params& p, TVar& r) {
    double a = CheckedDateTime(Float(p[0].value));
    double b = CheckedDateTime(Float(p[1].value));
    if (a > b) {
        std::swap(a, b);
    }
    int y0 = DecodeDateTime(a).year;
    int y1 = DecodeDateTime(b).year;
    double sum = 0.0;
    for (int y = y0; y <= y1; ++y) {
        double start = EncodeDateTime(y, 1, 1);
        double end = y < 9999 ? EncodeDateTime(y + 1, 1, 1) : start + 365;
        double overlap = std::min(b, end) - std::max(a, start);
        if (overlap > 0) {
            sum += overlap / (end - start);
        }
    }
    r.value = Value::Double(sum);
    return true;
}

} // namespace

std::span<const NativeRow> DateRows() {
    using enum WrongCount;
    static constexpr NativeRow kRows[] = {
        {"Now", 19, 0, 0, Fail, &Now},
        {"Date", 20, 0, 0, Fail, &Date},
        {"Time", 21, 0, 0, Fail, &Time},
        {"DateToStr", 22, 1, 1, Fail, &DateToStr},
        {"StrToDate", 23, 1, 1, Fail, &StrToDate},
        {"TimeToStr", 24, 1, 1, Fail, &TimeToStr},
        {"StrToTime", 25, 1, 1, Fail, &StrToTime},
        {"FormatDateTime", 26, 2, 2, Fail, &FormatDateTime},
        {"DayOfWeek", 27, 1, 1, Fail, &DayOfWeek},
        {"IncMonth", 28, 2, 2, Fail, &IncMonth},
        {"DecodeDate", 29, 4, 4, Fail, &DecodeDate},
        {"DecodeTime", 30, 5, 5, Fail, &DecodeTime},
        {"EncodeDate", 31, 3, 3, Fail, &EncodeDate},
        {"EncodeTime", 32, 4, 4, Fail, &EncodeTime},
        {"YearDays", 60, 1, 1, Fail, &YearDays},
        {"YearFrac", 61, 2, 2, Fail, &YearFrac},
    };
    return kRows;
}

} // namespace lib

} // namespace kq::script
