#include "base/ktime.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ctime>

namespace {

typedef unsigned long long U64;

const long long kTicksPerSecond = KTIME_ONE_SECOND_TICKS;
const long long kTicksPerMinute = 60 * kTicksPerSecond; // 2771169480000
const long long kTicksPerHour = 3600 * kTicksPerSecond; // 166270168800000

// How a mode numbers its frames in a time code.
enum Counting
{
    eRealTime,
    eFullNtsc,
    eDropFrame
};

struct ModeInfo
{
    long long frame; // ticks per frame
    long long field; // ticks per field (half frame)
    Counting counting;
    bool fields; // field part in time codes
    // Drop-frame numbering: numbers per second and frame counts per hour,
    // per ten minutes, per full minute and per shortened minute.
    int numbers;
    int perHour;
    int perTen;
    int perFull;
    int perShort;
};

// Per-mode constants of every tick computation, indexed by mode (row 0 unused).
// Mode 12 has no field size: its cumulative field count is the frame count halved.
constexpr ModeInfo kModes[14] = {
    {0, 0, eRealTime, false, 0, 0, 0, 0, 0},
    {384884650LL, 192442325LL, eRealTime, false, 0, 0, 0, 0, 0},                  // 120
    {461861580LL, 230930790LL, eRealTime, false, 0, 0, 0, 0, 0},                  // 100
    {769769300LL, 384884650LL, eRealTime, false, 0, 0, 0, 0, 0},                  // 60
    {923723160LL, 461861580LL, eRealTime, false, 0, 0, 0, 0, 0},                  // 50
    {962211625LL, 481105812LL, eRealTime, false, 0, 0, 0, 0, 0},                  // 48
    {1539538600LL, 769769300LL, eRealTime, true, 0, 0, 0, 0, 0},                  // 30
    {1539538600LL, 769769300LL, eDropFrame, true, 30, 107892, 17982, 1800, 1798}, // 30 drop
    {1541078334LL, 770539167LL, eDropFrame, true, 30, 107892, 17982, 1800, 1798}, // 29.97 drop
    {1541078334LL, 770539167LL, eFullNtsc, true, 30, 108000, 18000, 1800, 1800},  // 29.97 full
    {1847446320LL, 923723160LL, eRealTime, true, 0, 0, 0, 0, 0},                  // 25
    {1924423250LL, 962211625LL, eRealTime, false, 0, 0, 0, 0, 0},                 // 24
    {46186158LL, 0, eRealTime, false, 0, 0, 0, 0, 0},                             // 1000
    {1926349600LL, 963174800LL, eDropFrame, true, 24, 86292, 14382, 1440, 1438},  // 23.976
};

std::atomic<int> gGlobalTimeMode{6};
std::atomic<int> gGlobalTimeProtocol{1};

int ResolveMode(int mode)
{
    return mode == 0 ? gGlobalTimeMode.load(std::memory_order_relaxed) : mode;
}

bool IsValidMode(int mode)
{
    return mode >= 1 && mode <= 13;
}

int ResolveProtocol(int protocol)
{
    return protocol == 2 ? gGlobalTimeProtocol.load(std::memory_order_relaxed) : protocol;
}

// Two's-complement arithmetic on ticks without signed-overflow traps.
long long Wrap(U64 value)
{
    return static_cast<long long>(value);
}

bool IsInfinite(long long ticks)
{
    return ticks == LLONG_MAX;
}
bool IsMinusInfinite(long long ticks)
{
    return ticks <= LLONG_MIN + 1;
}

// atoi without the undefined behaviour on out-of-range texts; null reads as 0.
int SafeAtoi(const char* text)
{
    if (!text)
        return 0;
    long value = strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// strtok-style scan: skips leading delimiters, returns the token start (or
// null when none is left) with its length, and moves the cursor past it.
const char* NextToken(const char*& cursor, const char* delimiters, size_t* length)
{
    const char* p = cursor;
    while (*p && strchr(delimiters, *p))
        ++p;
    if (!*p)
    {
        cursor = p;
        return nullptr;
    }
    size_t n = strcspn(p, delimiters);
    cursor = p + n;
    if (length)
        *length = n;
    return p;
}

// Brings a fraction-of-frame number into hundredths: digits beyond the
// second are dropped, and a single digit counts as tenths.
int FractionToHundredths(const char* token, size_t length)
{
    int value = SafeAtoi(token);
    while (value > 99 || value < -99)
        value /= 10;
    if (length < 2)
        value *= 10;
    return value;
}

// Frame-based time-code arithmetic shared by the setters.
long long TicksFromTimeCode(int hours, int minutes, int seconds, int frames, int field, int mode)
{
    const ModeInfo& m = kModes[mode];
    const U64 F = static_cast<U64>(m.frame);
    const U64 f = static_cast<U64>(m.field);
    const U64 h = static_cast<U64>(static_cast<long long>(hours));
    const U64 mi = static_cast<U64>(static_cast<long long>(minutes));
    const U64 s = static_cast<U64>(static_cast<long long>(seconds));
    const U64 fr = static_cast<U64>(static_cast<long long>(frames));
    const U64 fi = static_cast<U64>(static_cast<long long>(field));

    switch (m.counting)
    {
    case eRealTime:
    {
        U64 t = h * static_cast<U64>(kTicksPerHour) + mi * static_cast<U64>(kTicksPerMinute) +
                s * static_cast<U64>(kTicksPerSecond) + fr * F;
        if (mode == 6 || mode == 10)
            t += fi * f;
        return Wrap(t);
    }
    case eFullNtsc: return Wrap((h * 108000 + mi * 1800 + s * 30 + fr) * F + fi * f);
    case eDropFrame:
    {
        // Every minute not a multiple of ten lacks frame numbers 0 and 1.
        const long long n = m.numbers;
        const long long d = minutes / 10;
        const long long r = minutes - 10 * d;
        U64 count = h * static_cast<U64>(m.perHour) + static_cast<U64>(d) * static_cast<U64>(m.perTen);
        if (r == 0)
        {
            count += s * static_cast<U64>(n) + fr;
        }
        else
        {
            long long sec = seconds;
            long long index = (n - 2) * sec + 2 * (sec - 1 > 0 ? sec - 1 : 0);
            long long frameIndex = static_cast<long long>(frames) - (sec == 0 ? 2 : 0);
            index += frameIndex > 0 ? frameIndex : 0;
            count += static_cast<U64>(m.perFull) + static_cast<U64>(r - 1) * static_cast<U64>(m.perShort) +
                     static_cast<U64>(index);
        }
        return Wrap(count * F + fi * f);
    }
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Arithmetic

KTime KTime::operator+(const KTime& other) const
{
    return KTime(Wrap(static_cast<U64>(mTime) + static_cast<U64>(other.mTime)));
}

KTime KTime::operator-(const KTime& other) const
{
    return KTime(Wrap(static_cast<U64>(mTime) - static_cast<U64>(other.mTime)));
}

KTime KTime::operator-() const
{
    return KTime(Wrap(0 - static_cast<U64>(mTime)));
}

KTime& KTime::operator+=(const KTime& other)
{
    *this = *this + other;
    return *this;
}

KTime& KTime::operator-=(const KTime& other)
{
    *this = *this - other;
    return *this;
}

KTime KTime::operator*(int factor) const
{
    return KTime(Wrap(static_cast<U64>(mTime) * static_cast<U64>(static_cast<long long>(factor))));
}

KTime KTime::operator*(const KTime& other) const
{
    return KTime(Wrap(static_cast<U64>(mTime) * static_cast<U64>(other.mTime)));
}

KTime KTime::operator/(const KTime& divisor) const
{
    if (divisor.mTime == 0)
        return KTime(0);
    if (divisor.mTime == -1)
        return -*this;
    return KTime(mTime / divisor.mTime);
}

// ---------------------------------------------------------------------------
// Seconds

double KTime::GetSecondDouble() const
{
    return KTimeTicksToSeconds(static_cast<long double>(mTime));
}

void KTime::SetSecondDouble(double seconds)
{
    // The product is formed in double so that exact fractions such as 1/24 s
    // land on their tick (1924423250) rather than one tick short.
    double ticks = seconds * static_cast<double>(kTicksPerSecond);
    if (std::isnan(ticks))
        mTime = 0;
    else if (ticks >= 9223372036854775808.0)
        mTime = LLONG_MAX;
    else if (ticks <= -9223372036854775808.0)
        mTime = LLONG_MIN;
    else
        mTime = static_cast<long long>(ticks);
}

// ---------------------------------------------------------------------------
// Time-code split

bool KTime::GetTime(long long& hours, long long& minutes, long long& seconds, long long& frames, long long& field,
                    long long& residual, int mode) const
{
    mode = ResolveMode(mode);
    if (!IsValidMode(mode))
        return false;
    const ModeInfo& m = kModes[mode];
    const long long F = m.frame;

    long long perHourTicks = m.counting == eRealTime ? kTicksPerHour : m.perHour * F;
    // Hours round toward minus infinity so that the remainder is never negative.
    long long h = mTime / perHourTicks;
    long long rest = mTime % perHourTicks;
    if (rest < 0)
    {
        rest += perHourTicks;
        --h;
    }

    long long mi, s, fr;
    if (m.counting == eRealTime)
    {
        mi = rest / kTicksPerMinute;
        rest %= kTicksPerMinute;
        s = rest / kTicksPerSecond;
        rest %= kTicksPerSecond;
    }
    else if (m.counting == eFullNtsc)
    {
        mi = rest / (1800 * F);
        rest %= 1800 * F;
        s = rest / (30 * F);
        rest %= 30 * F;
    }
    else
    {
        const long long tenTicks = m.perTen * F;
        const long long tens = rest / tenTicks;
        rest -= tens * tenTicks;
        // Skip the two missing numbers of every minute past the first.
        rest += 2 * F * ((rest - 2 * F) / (m.perShort * F));
        const long long minuteTicks = m.perFull * F;
        mi = 10 * tens + rest / minuteTicks;
        rest %= minuteTicks;
        s = rest / (m.numbers * F);
        rest %= m.numbers * F;
    }
    fr = rest / F;
    rest %= F;

    long long fi = 0;
    if (m.fields)
    {
        fi = rest / m.field;
        rest -= fi * m.field;
    }
    long long res = (rest * 100) / F + (fi == 1 ? 50 : 0);

    hours = static_cast<int>(h);
    minutes = static_cast<int>(mi);
    seconds = static_cast<int>(s);
    frames = static_cast<int>(fr);
    field = static_cast<int>(fi);
    residual = static_cast<int>(res);
    return true;
}

namespace {

// One part of the time-code split: 0 hours, 1 minutes, 2 seconds, 3 frames,
// 4 field, 5 residual; 0 when the mode is not valid.
long long SplitPart(const KTime& time, int part, int mode)
{
    long long parts[6] = {0, 0, 0, 0, 0, 0};
    time.GetTime(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], mode);
    return parts[part];
}

} // namespace

long long KTime::GetHour(bool cumulative, int mode) const
{
    return cumulative ? mTime / kTicksPerHour : SplitPart(*this, 0, mode);
}

long long KTime::GetMinute(bool cumulative, int mode) const
{
    return cumulative ? mTime / kTicksPerMinute : SplitPart(*this, 1, mode);
}

long long KTime::GetSecond(bool cumulative, int mode) const
{
    return cumulative ? mTime / kTicksPerSecond : SplitPart(*this, 2, mode);
}

long long KTime::GetFrame(bool cumulative, int mode) const
{
    if (cumulative)
    {
        mode = ResolveMode(mode);
        if (!IsValidMode(mode))
            return 0;
        return mTime / kModes[mode].frame;
    }
    return SplitPart(*this, 3, mode);
}

long long KTime::GetField(bool cumulative, int mode) const
{
    if (cumulative)
    {
        mode = ResolveMode(mode);
        if (!IsValidMode(mode))
            return 0;
        if (mode == 12)
            return (mTime / kModes[12].frame) / 2;
        return mTime / kModes[mode].field;
    }
    return SplitPart(*this, 4, mode);
}

long long KTime::GetResidual(int mode) const
{
    return SplitPart(*this, 5, mode);
}

KTime KTime::GetFramedTime(bool round) const
{
    const int mode = ResolveMode(0);
    if (!IsValidMode(mode))
        return *this;
    const long long F = kModes[mode].frame;
    const long long base = (mTime / F) * F;
    const long long rest = mTime - base;
    if (!round || rest == 0)
        return KTime(base);
    // The other boundary lies on the far side of the time from the base.
    if (rest > 0)
    {
        if (base > LLONG_MAX - F)
            return KTime(base);
        return KTime(2 * rest >= F ? base + F : base);
    }
    if (base < LLONG_MIN + F)
        return KTime(base);
    return KTime(-2 * rest >= F ? base - F : base);
}

// ---------------------------------------------------------------------------
// Setting

void KTime::SetTime(int hours, int minutes, int seconds, int frames, int field, int mode)
{
    mode = ResolveMode(mode);
    if (!IsValidMode(mode))
        return;
    mTime = TicksFromTimeCode(hours, minutes, seconds, frames, field, mode);
}

void KTime::SetTime(int hours, int minutes, int seconds, int frames, int field, int residual, int mode)
{
    if (residual == 0)
    {
        SetTime(hours, minutes, seconds, frames, field, mode);
        return;
    }
    mode = ResolveMode(mode);
    if (!IsValidMode(mode))
        return;
    // residual whole frames, then a hundredth of it, positive ones rounded up
    const long long wholeFrames = static_cast<long long>(residual) * kModes[mode].frame;
    mTime = TicksFromTimeCode(hours, minutes, seconds, frames, field, mode);
    *this += KTime((wholeFrames + 99) / 100);
}

void KTime::SetTimeString(const char* text, int mode, int protocol)
{
    if (!text)
        return;
    const size_t length = strnlen(text, 19);
    if (length == 0 || length > 18)
        return;
    protocol = ResolveProtocol(protocol);
    mode = ResolveMode(mode);
    if (!IsValidMode(mode))
        return;

    // Work area: the text, a '.' behind it and the terminator.
    char work[32];
    memcpy(work, text, length);
    work[length] = '\0';

    if (protocol == 0)
    {
        // hhh:mm:ss.ff[.fraction] [(residual)], ':' and ';' alike.
        int residual = 0;
        size_t end = length;
        if (char* paren = strchr(work, '('))
        {
            const char* cursor = paren;
            residual = SafeAtoi(NextToken(cursor, "()", nullptr));
            end = static_cast<size_t>(paren - work);
        }
        work[end] = '.';
        work[end + 1] = '\0';

        int colons = 0, dots = 0;
        for (char* p = work; *p; ++p)
        {
            if (*p == ':' || *p == ';')
            {
                ++colons;
            }
            else if (*p == '.')
            {
                ++dots;
                *p = ':';
            }
        }
        const bool leadingSeparator = work[0] == ':' || work[0] == ';';

        const char* cursor = work;
        int hours = 0, minutes = 0, seconds = 0, frames = 0;
        if (colons > 1)
            hours = SafeAtoi(NextToken(cursor, ":;", nullptr));
        if (colons > 0)
            minutes = SafeAtoi(NextToken(cursor, ":;", nullptr));
        if (dots > 0 && !(leadingSeparator && colons == 0))
            seconds = SafeAtoi(NextToken(cursor, ":;", nullptr));
        if (dots > 1)
            frames = SafeAtoi(NextToken(cursor, ":;", nullptr));
        if (dots > 2)
        {
            size_t tokenLength = 0;
            if (const char* token = NextToken(cursor, ":;", &tokenLength))
                residual += FractionToHundredths(token, tokenLength);
        }
        SetTime(hours, minutes, seconds, frames, 0, residual, mode);
        return;
    }

    // Frame count: [-]count[.fraction] or [-]count (residual).
    int residual = 0;
    char* cut = strchr(work, '(');
    const bool parenthesised = cut != nullptr;
    if (!cut)
        cut = strchr(work, '.');
    if (cut)
    {
        const char* cursor = cut;
        size_t tokenLength = 0;
        const char* token = NextToken(cursor, "().", &tokenLength);
        if (token)
            residual = parenthesised ? SafeAtoi(token) : FractionToHundredths(token, tokenLength);
        *cut = '\0';
    }

    KTime fraction;
    fraction.SetTime(0, 0, 0, 0, 0, residual, mode);

    if (work[0] == '\0')
    {
        mTime = fraction.mTime;
        return;
    }

    // A leading '-' (blanks allowed after it, as the text form writes it)
    // negates the whole value, fraction included: -3.5 is minus three and a
    // half frames.
    const char* p = work;
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    const bool negative = *p == '-';
    if (negative)
    {
        ++p;
        while (isspace(static_cast<unsigned char>(*p)))
            ++p;
    }
    char* endOfNumber = nullptr;
    const long long count = strtoll(p, &endOfNumber, 10);
    if (endOfNumber == p || (negative && count < 0))
        return;

    KTime value = KTime(count) * KTime(kModes[mode].frame) + fraction;
    mTime = negative ? (-value).mTime : value.mTime;
}

// ---------------------------------------------------------------------------
// Text form

char* KTime::GetTimeString(char* buffer, int detail, int mode, int protocol) const
{
    return GetTimeString(buffer, KTIME_STRING_SIZE, detail, mode, protocol);
}

char* KTime::GetTimeString(char* buffer, size_t size, int detail, int mode, int protocol) const
{
    if (!buffer || size == 0)
        return buffer;
    buffer[0] = '\0';
    protocol = ResolveProtocol(protocol);
    mode = ResolveMode(mode);
    const bool infinite = IsInfinite(mTime);
    const bool minusInfinite = IsMinusInfinite(mTime);

    if (protocol == 0)
    {
        long long h, mi, s, fr, fi, res;
        if (!GetTime(h, mi, s, fr, fi, res, mode))
            return buffer;
        const int H = static_cast<int>(h), M = static_cast<int>(mi), S = static_cast<int>(s), F = static_cast<int>(fr),
                  R = static_cast<int>(res);
        switch (detail)
        {
        case 1: snprintf(buffer, size, "%03d", H); break;
        case 2: snprintf(buffer, size, "%03d:%02d", H, M); break;
        case 3: snprintf(buffer, size, "%03d:%02d:%02d", H, M, S); break;
        case 4: snprintf(buffer, size, "%03d:%02d:%02d.%02d", H, M, S, F); break;
        case 5:
            if (infinite)
                snprintf(buffer, size, "---:--:--.--");
            else if (minusInfinite)
                snprintf(buffer, size, "- ---:--:--.--");
            else if (R == 0)
                snprintf(buffer, size, "%03d:%02d:%02d.%02d", H, M, S, F);
            else
                snprintf(buffer, size, "%03d:%02d:%02d.%02d*", H, M, S, F);
            break;
        case 6:
            if (infinite)
                snprintf(buffer, size, "---:--:--.-- (--)");
            else if (minusInfinite)
                snprintf(buffer, size, "- ---:--:--.-- (--)");
            else
                snprintf(buffer, size, "%03d:%02d:%02d.%02d (%02d)", H, M, S, F, R);
            break;
        default: break;
        }
        if (mTime < 0 && buffer[0] != '\0')
            buffer[0] = '-';
        return buffer;
    }

    // Frame count. A negative time prints its magnitude after "- ": the
    // count and the fraction of a frame both belong to the magnitude, so
    // that the text reads back as the same time.
    const bool negative = mTime < 0;
    long long count = 0, res = 0;
    if (!infinite && !minusInfinite)
    {
        const KTime magnitude = negative ? -*this : *this;
        count = magnitude.GetFrame(true, mode);
        res = magnitude.GetResidual(mode);
    }
    const char* sign = negative ? "- " : "";
    switch (detail)
    {
    case 1:
    case 2:
    case 3:
    case 4:
        if (infinite || minusInfinite)
            snprintf(buffer, size, "---");
        else
            snprintf(buffer, size, "%s%lld", sign, count);
        break;
    case 5:
        if (infinite)
            snprintf(buffer, size, "  ---");
        else if (minusInfinite)
            snprintf(buffer, size, "- ---");
        else
            snprintf(buffer, size, res != 0 ? "%s%lld*" : "%s%lld", sign, count);
        break;
    case 6:
        if (infinite)
            snprintf(buffer, size, "  --- (--)");
        else if (minusInfinite)
            snprintf(buffer, size, "- --- (--)");
        else
            snprintf(buffer, size, "%s%lld (%02lld)", sign, count, res);
        break;
    default: break;
    }
    return buffer;
}

// ---------------------------------------------------------------------------
// Global settings

KTime::ETimeMode KTime::GetGlobalTimeMode()
{
    return gGlobalTimeMode.load(std::memory_order_relaxed);
}
KTime::ETimeProtocol KTime::GetGlobalTimeProtocol()
{
    return gGlobalTimeProtocol.load(std::memory_order_relaxed);
}
void KTime::SetGlobalTimeMode(ETimeMode mode)
{
    gGlobalTimeMode.store(mode, std::memory_order_relaxed);
}
void KTime::SetGlobalTimeProtocol(ETimeProtocol protocol)
{
    gGlobalTimeProtocol.store(protocol, std::memory_order_relaxed);
}

KTime::ETimeMode KTime_GetGlobalTimeMode()
{
    return KTime::GetGlobalTimeMode();
}
KTime::ETimeProtocol KTime_GetGlobalTimeFormat()
{
    return KTime::GetGlobalTimeProtocol();
}
void KTime_SetGlobalTimeMode(KTime::ETimeMode mode)
{
    KTime::SetGlobalTimeMode(mode);
}
void KTime_SetGlobalTimeFormat(KTime::ETimeProtocol protocol)
{
    KTime::SetGlobalTimeProtocol(protocol);
}

// ---------------------------------------------------------------------------
// Time-mode table

const KTimeMode* KTimeMode::GetTable()
{
    static const KTimeMode table[12] = {
        {120.0, "120", 1, 8, "120 fps", 3, true},
        {100.0, "100", 2, 7, "100 fps", 3, true},
        {60.0, "60", 3, 6, "60 fps", 3, true},
        {50.0, "50", 4, 5, "50 fps", 3, true},
        {48.0, "48", 5, 3, "48 fps", 3, false},
        {30.0, "30", 6, 3, "30 fps", 3, true},
        {29.97002617, "29.97 drop", 8, 4, "NTSC Drop", 3, true},
        {29.97002617, "29.97 full", 9, 9, "NTSC Full", 3, true},
        {25.0, "25", 10, 2, "PAL", 3, true},
        {24.0, "24", 11, 1, "24 fps", 3, true},
        {30.0, "30 Drop", 7, 10, "30 Drop", 0, true},
        {23.976, "23.976", 13, 10, "23.976 fps", 3, false},
    };
    return table;
}

int KTimeMode::GetTableCount()
{
    return 12;
}

int KTimeMode::FindRow(KTime::ETimeMode mode)
{
    const KTimeMode* table = GetTable();
    for (int i = 0; i < GetTableCount(); ++i)
        if (table[i].mTimeMode == mode)
            return i;
    return -1;
}

namespace {

bool ListedFor(const KTimeMode& row, int protocol)
{
    if (protocol == 0)
        return (row.mProtocolFlags & 1) != 0;
    if (protocol == 1)
        return (row.mProtocolFlags & 2) != 0;
    return false;
}

} // namespace

char* KTimeMode::GetControlStringList(char* buffer, KTime::ETimeProtocol protocol)
{
    return GetControlStringList(buffer, KTIME_CONTROL_STRING_SIZE, protocol);
}

char* KTimeMode::GetControlStringList(char* buffer, size_t size, KTime::ETimeProtocol protocol)
{
    if (!buffer || size == 0)
        return buffer;
    buffer[0] = '\0';
    const KTimeMode* table = GetTable();
    const int count = GetTableCount();
    size_t used = 0;
    for (int i = 0; i < count; ++i)
    {
        if (!ListedFor(table[i], protocol))
            continue;
        int written = snprintf(buffer + used, size - used, "%s%s", table[i].mTimeModeName, i == count - 1 ? "" : "~");
        if (written < 0 || static_cast<size_t>(written) >= size - used)
        {
            buffer[used] = '\0'; // keep whole names only when the buffer is full
            break;
        }
        used += static_cast<size_t>(written);
    }
    return buffer;
}

int KTimeMode::GetFrameRateStringListIndex(KTime::ETimeMode mode)
{
    const int row = FindRow(mode);
    if (row < 0)
        return 0;
    const int protocol = KTime::GetGlobalTimeProtocol();
    const KTimeMode* table = GetTable();
    auto leftOut = [protocol](const KTimeMode& r) {
        return r.mProtocolFlags == 0 || (protocol == 0 && !(r.mProtocolFlags & 1)) ||
               (protocol == 1 && !(r.mProtocolFlags & 2));
    };
    if (leftOut(table[row]))
        return -1;
    int skipped = 0;
    for (int i = 0; i < row; ++i)
        if (leftOut(table[i]))
            ++skipped;
    return row - skipped;
}

double KTime::GetFrameRate(ETimeMode mode)
{
    if (mode == 0)
        mode = GetGlobalTimeMode();
    const int row = KTimeMode::FindRow(mode);
    return row < 0 ? 30.0 : KTimeMode::GetTable()[row].mFrameRate;
}

KTime::ETimeMode KTime::ConvertFrameRateToTimeMode(double rate, double tolerance)
{
    for (int mode = 1; mode <= 13; ++mode)
    {
        const double r = GetFrameRate(mode);
        if (r - tolerance <= rate && rate <= r + tolerance)
            return mode;
    }
    return 0;
}

int KTime_GetOldTimeModeCorrespondance(KTime::ETimeMode mode)
{
    const int row = KTimeMode::FindRow(mode);
    return row < 0 ? 3 : KTimeMode::GetTable()[row].mOldTimeMode;
}

KTime::ETimeMode KTime_GetTimeModeFromOldValue(int oldCode)
{
    const KTimeMode* table = KTimeMode::GetTable();
    for (int i = 0; i < KTimeMode::GetTableCount(); ++i)
        if (table[i].mOldTimeMode == oldCode && table[i].mOldTimeModeLookup)
            return table[i].mTimeMode;
    return 6;
}

KTime::ETimeMode KTime_GetTimeModeFromFrameRate(const char* name)
{
    if (!name)
        return 6;
    const KTimeMode* table = KTimeMode::GetTable();
    for (int i = 0; i < KTimeMode::GetTableCount(); ++i)
        if (strcmp(table[i].mFrameRateString, name) == 0 || strcmp(table[i].mTimeModeName, name) == 0)
            return table[i].mTimeMode;
    return 6;
}

const char* KTime_GetGlobalFrameRateString(KTime::ETimeMode mode)
{
    const int row = KTimeMode::FindRow(mode);
    return row < 0 ? "" : KTimeMode::GetTable()[row].mFrameRateString;
}

const char* KTime_GetGlobalTimeModeString(KTime::ETimeMode mode)
{
    const int row = KTimeMode::FindRow(mode);
    return row < 0 ? "" : KTimeMode::GetTable()[row].mTimeModeName;
}

const char* KTime_GetTimeModeName(int mode)
{
    return KTime_GetGlobalTimeModeString(mode);
}

char* KTime_GetControlStringList(char* buffer, KTime::ETimeProtocol protocol)
{
    return KTimeMode::GetControlStringList(buffer, protocol);
}

int KTime_GetFrameRateStringListIndex(KTime::ETimeMode mode)
{
    return KTimeMode::GetFrameRateStringListIndex(mode);
}

// ---------------------------------------------------------------------------
// Spans

bool KTimeSpan::operator&(const KTime& time) const
{
    if (mStart <= mStop)
        return mStart <= time && time < mStop;
    return mStop <= time && time < mStart;
}

KTimeSpan KTimeSpan::operator&(const KTimeSpan& other) const
{
    const bool forward = mStart <= mStop;
    const bool otherForward = other.mStart <= other.mStop;
    if (forward != otherForward)
        return KTimeSpan();
    if (forward)
    {
        KTime start = mStart > other.mStart ? mStart : other.mStart;
        KTime stop = mStop < other.mStop ? mStop : other.mStop;
        return start > stop ? KTimeSpan() : KTimeSpan(start, stop);
    }
    KTime start = mStart < other.mStart ? mStart : other.mStart;
    KTime stop = mStop > other.mStop ? mStop : other.mStop;
    return stop > start ? KTimeSpan() : KTimeSpan(start, stop);
}

bool KTimeSpan::operator==(const KTimeSpan& other) const
{
    return mStart == other.mStart && mStop == other.mStop;
}

bool KTimeSpan::operator!=(const KTimeSpan& other) const
{
    return !(*this == other);
}

// ---------------------------------------------------------------------------
// Calendar time

kLocalTime::kLocalTime()
    : mYear(0)
    , mMonth(0)
    , mDay(0)
    , mHour(0)
    , mMinute(0)
    , mSecond(0)
    , mMillisecond(0)
{}

void KLib_GetCurrentLocalTime(kLocalTime& time)
{
    const time_t now = ::time(nullptr);
    struct tm calendar;
    if (!localtime_r(&now, &calendar))
        return;
    time.mYear = calendar.tm_year + (calendar.tm_year < 50 ? 2000 : 1900);
    time.mMonth = calendar.tm_mon + 1;
    time.mDay = calendar.tm_mday;
    time.mHour = calendar.tm_hour;
    time.mMinute = calendar.tm_min;
    time.mSecond = calendar.tm_sec;
    time.mMillisecond = 0;
}

bool KLib_SetLocalTime(const kLocalTime& time)
{
    struct tm calendar;
    memset(&calendar, 0, sizeof(calendar));
    calendar.tm_year = time.mYear - 1900;
    calendar.tm_mon = time.mMonth - 1;
    calendar.tm_mday = time.mDay;
    calendar.tm_hour = time.mHour;
    calendar.tm_min = time.mMinute;
    calendar.tm_sec = time.mSecond;
    calendar.tm_wday = 0;
    calendar.tm_isdst = 0;
    const time_t clock = mktime(&calendar);
    if (clock == static_cast<time_t>(-1))
        return false;
    struct timespec value;
    value.tv_sec = clock;
    value.tv_nsec = 0;
    return clock_settime(CLOCK_REALTIME, &value) == 0;
}
