#ifndef QOX_BASE_KTIME_H
#define QOX_BASE_KTIME_H

// Time in ticks (46,186,158,000 per second), the thirteen time modes with
// their frame, field and time-code arithmetic (drop-frame numbering
// included), the text forms of a time, the time-mode table, time spans and
// the calendar record used for date stamps.

#include <cstddef>

class KTime
{
public:
    // 0 means "the global time mode"; 1 to 13 are the frame rates 120, 100,
    // 60, 50, 48, 30, 30 drop, 29.97 drop, 29.97 full, 25, 24, 1000, 23.976.
    typedef int ETimeMode;
    // 0 time code, 1 frame count, 2 the global protocol.
    typedef int ETimeProtocol;

    constexpr KTime()
        : mTime(0)
    {}
    constexpr KTime(long long ticks)
        : mTime(ticks)
    {}

    void Set(long long ticks) { mTime = ticks; }
    constexpr long long Get() const { return mTime; }

    // Arithmetic wraps on the 64-bit tick count (two's complement).
    KTime operator+(const KTime& other) const;
    KTime operator-(const KTime& other) const;
    KTime operator-() const;
    KTime& operator+=(const KTime& other);
    KTime& operator-=(const KTime& other);
    // Product with a sign-extended int.
    KTime operator*(int factor) const;
    // Product of the two tick counts (low 64 bits).
    KTime operator*(const KTime& other) const;
    // Signed quotient truncated toward zero. A divisor of -1 negates (the
    // smallest value stays itself); a zero divisor is the caller's error
    // and gives 0 instead of trapping.
    KTime operator/(const KTime& divisor) const;

    bool operator==(const KTime& o) const { return mTime == o.mTime; }
    bool operator!=(const KTime& o) const { return mTime != o.mTime; }
    bool operator<(const KTime& o) const { return mTime < o.mTime; }
    bool operator<=(const KTime& o) const { return mTime <= o.mTime; }
    bool operator>(const KTime& o) const { return mTime > o.mTime; }
    bool operator>=(const KTime& o) const { return mTime >= o.mTime; }

    // Seconds. SetSecondDouble truncates toward zero; values beyond the
    // tick range saturate and NaN gives 0.
    double GetSecondDouble() const;
    void SetSecondDouble(double seconds);

    // Clock and frame queries. With cumulative set, the whole count of that
    // unit since time 0 (toward zero); otherwise the part of the time-code
    // split (GetTime) in the mode. Mode 0 is the global mode; an unknown
    // mode gives 0.
    long long GetHour(bool cumulative = false, int mode = 0) const;
    long long GetMinute(bool cumulative = false, int mode = 0) const;
    long long GetSecond(bool cumulative = false, int mode = 0) const;
    long long GetFrame(bool cumulative = false, int mode = 0) const;
    long long GetField(bool cumulative = false, int mode = 0) const;
    // Hundredths of a frame since the frame started (0-99).
    long long GetResidual(int mode = 0) const;

    // Splits the time into a time code of the mode. Returns false, writing
    // nothing, for a mode outside 1-13.
    bool GetTime(long long& hours, long long& minutes, long long& seconds, long long& frames, long long& field,
                 long long& residual, int mode) const;

    // The time snapped to a frame of the global mode: the frame reached by
    // truncating toward zero, or with round set the nearer of the two frame
    // boundaries around the time (an exact half goes away from that frame).
    KTime GetFramedTime(bool round) const;

    // Sets the time from a time code; a mode outside 1-13 leaves it as is.
    void SetTime(int hours, int minutes, int seconds, int frames, int field, int mode);
    // Same, plus a residual in hundredths of a frame (positive ones round up
    // to the next tick).
    void SetTime(int hours, int minutes, int seconds, int frames, int field, int residual, int mode);

    // Reads a time code or frame-count text. Empty texts, texts over 18
    // characters and unreadable frame counts leave the time unchanged.
    void SetTimeString(const char* text, int mode, int protocol);

    // Writes the text form into buffer and returns it. detail is 1 to 6;
    // other levels give an empty text. The unsized form writes at most
    // KTIME_STRING_SIZE bytes; the sized form never writes past size bytes.
    char* GetTimeString(char* buffer, int detail, int mode, int protocol) const;
    char* GetTimeString(char* buffer, size_t size, int detail, int mode, int protocol) const;

    // Process-wide defaults: mode 6 and protocol 1 until set.
    static ETimeMode GetGlobalTimeMode();
    static ETimeProtocol GetGlobalTimeProtocol();
    static void SetGlobalTimeMode(ETimeMode mode);
    static void SetGlobalTimeProtocol(ETimeProtocol protocol);

    // The table rate of the mode (mode 0: the global mode); 30.0 for a mode
    // without a table row, mode 12 included.
    static double GetFrameRate(ETimeMode mode);
    // The first mode from 1 to 13 whose table rate is within tolerance of
    // rate; 0 when none.
    static ETimeMode ConvertFrameRateToTimeMode(double rate, double tolerance);

private:
    long long mTime;
};

// Ticks in one second; the infinite time and the minus-infinite time used
// for open spans (the very smallest value also reads as minus infinite).
inline constexpr long long KTIME_ONE_SECOND_TICKS = 46186158000LL;
inline constexpr KTime KTIME_ONE_SECOND(KTIME_ONE_SECOND_TICKS);

// Seconds of a tick count: the extended-precision quotient rounded to
// double, as GetSecondDouble gives it. Any tick difference (see
// KTimeDifference) converts exactly to the extended type first.
inline double KTimeTicksToSeconds(long double ticks)
{
    return static_cast<double>(ticks / static_cast<long double>(KTIME_ONE_SECOND_TICKS));
}

// Ticks from `from` to `to` (negative when `to` is earlier), taken wide so
// that times at the two ends of the tick range never overflow.
inline constexpr __int128 KTimeDifference(KTime from, KTime to)
{
    return static_cast<__int128>(to.Get()) - static_cast<__int128>(from.Get());
}

// Seconds from `from` to `to`, without overflow. The wide difference (a
// slower conversion) is taken only when the plain one overflows; both
// convert exactly, so the result is the same.
inline double KTimeDifferenceSeconds(KTime from, KTime to)
{
    long long ticks;
    if (!__builtin_sub_overflow(to.Get(), from.Get(), &ticks))
        return KTimeTicksToSeconds(static_cast<long double>(ticks));
    return KTimeTicksToSeconds(static_cast<long double>(KTimeDifference(from, to)));
}
inline constexpr KTime KTIME_INFINITE(0x7FFFFFFFFFFFFFFFLL);
inline constexpr KTime KTIME_MINUS_INFINITE(-0x7FFFFFFFFFFFFFFFLL);

// Room for any text of GetTimeString (the longest is 21 characters).
inline constexpr size_t KTIME_STRING_SIZE = 32;
// Room for the choice-control list of the time-mode table (85 characters).
inline constexpr size_t KTIME_CONTROL_STRING_SIZE = 128;

// One row of the process-wide time-mode table.
struct KTimeMode
{
    double mFrameRate;
    const char* mFrameRateString; // short name, e.g. "29.97 drop"
    KTime::ETimeMode mTimeMode;
    int mOldTimeMode;          // code of an earlier file version
    const char* mTimeModeName; // long name, e.g. "NTSC Drop"
    int mProtocolFlags;        // bit 0 listed for protocol 0, bit 1 for 1
    bool mOldTimeModeLookup;   // row answers old-code lookups

    // The table (GetTableCount rows), built on first use.
    static const KTimeMode* GetTable();
    static int GetTableCount();
    // Index of the mode's row, or -1.
    static int FindRow(KTime::ETimeMode mode);

    // Long names of the rows listed for the protocol, joined by "~". The
    // unsized form writes at most KTIME_CONTROL_STRING_SIZE bytes.
    static char* GetControlStringList(char* buffer, KTime::ETimeProtocol protocol);
    static char* GetControlStringList(char* buffer, size_t size, KTime::ETimeProtocol protocol);
    // Position of the mode in that list under the global protocol; 0 for a
    // mode without a row, -1 for a mode the list leaves out.
    static int GetFrameRateStringListIndex(KTime::ETimeMode mode);
};

KTime::ETimeMode KTime_GetGlobalTimeMode();
KTime::ETimeProtocol KTime_GetGlobalTimeFormat();
void KTime_SetGlobalTimeMode(KTime::ETimeMode mode);
void KTime_SetGlobalTimeFormat(KTime::ETimeProtocol protocol);

// The row's old code; 3 for a mode without a row.
int KTime_GetOldTimeModeCorrespondance(KTime::ETimeMode mode);
// The mode of the first row with that old code that answers lookups; 6 when none.
KTime::ETimeMode KTime_GetTimeModeFromOldValue(int oldCode);
// The mode of the first row whose short name, or else long name, is the
// text; 6 when none.
KTime::ETimeMode KTime_GetTimeModeFromFrameRate(const char* name);
// Short name of the mode's row; "" without a row.
const char* KTime_GetGlobalFrameRateString(KTime::ETimeMode mode);
// Long name of the mode's row; "" without a row.
const char* KTime_GetGlobalTimeModeString(KTime::ETimeMode mode);
const char* KTime_GetTimeModeName(int mode);
char* KTime_GetControlStringList(char* buffer, KTime::ETimeProtocol protocol);
int KTime_GetFrameRateStringListIndex(KTime::ETimeMode mode);

// A start and a stop time; a stop before the start makes a reversed span.
class KTimeSpan
{
public:
    constexpr KTimeSpan()
        : mStart()
        , mStop()
    {}
    constexpr KTimeSpan(const KTime& start, const KTime& stop)
        : mStart(start)
        , mStop(stop)
    {}

    void Set(const KTime& start, const KTime& stop)
    {
        mStart = start;
        mStop = stop;
    }
    void SetStart(const KTime& start) { mStart = start; }
    void SetStop(const KTime& stop) { mStop = stop; }
    KTime GetStart() const { return mStart; }
    KTime GetStop() const { return mStop; }

    // Whether the time lies in the span: start <= t < stop, or for a
    // reversed span stop <= t < start.
    bool operator&(const KTime& time) const;
    // Intersection; (0, 0) for spans of opposite directions or when they do
    // not meet.
    KTimeSpan operator&(const KTimeSpan& other) const;
    bool operator==(const KTimeSpan& other) const;
    bool operator!=(const KTimeSpan& other) const;

private:
    KTime mStart;
    KTime mStop;
};

// Calendar time for date stamps; every field 0 after construction.
struct kLocalTime
{
    kLocalTime();
    int mYear;  // four digits
    int mMonth; // 1-12
    int mDay;   // day of the month
    int mHour;
    int mMinute;
    int mSecond;
    int mMillisecond;
};

// Fills the record from the clock in local time (millisecond 0); leaves it
// unchanged when the conversion fails.
void KLib_GetCurrentLocalTime(kLocalTime& time);
// Sets the system clock from the record (local time, daylight saving off);
// true on success. Needs the privilege to set the clock.
bool KLib_SetLocalTime(const kLocalTime& time);

#endif
