#include "scene/kqoxpluginrenamingstrategy.h"

#include <cstdint>
#include <cstdlib>

namespace qoxsdk_600 {

namespace {
const char* const kExactClashSuffix = "_ncl1_";
const char* const kCaseClashSuffix = "_ncl2_";
const char* const kUpperToLower = "ul";
const char* const kLowerToUpper = "lu";
const int kMaskBits = 32;

bool IsUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool IsLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char ToLower(char c)
{
    return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

char ToUpper(char c)
{
    return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerKey(const char* text)
{
    std::string key(text ? text : "");
    for (char& c : key)
        c = ToLower(c);
    return key;
}

// The mask as the file writes it: the 32-bit pattern in signed decimal.
void AppendMask(KString& text, const char* tag, uint32_t mask)
{
    if (mask == 0)
        return;
    text += tag;
    text += static_cast<int>(static_cast<int32_t>(mask));
}

// The decimal number at the start of the text, taken as a 32-bit pattern.
uint32_t ReadMask(const char* text)
{
    return static_cast<uint32_t>(strtoll(text, nullptr, 10));
}
} // namespace

KQoxPluginRenamingStrategy::KQoxPluginRenamingStrategy(EMode mode, bool parenthesisFlag)
    : mMode(mode)
    , mClashType(eBOTH_CLASHES)
    , mParenthesisFlag(parenthesisFlag)
{}

KQoxPluginRenamingStrategy::~KQoxPluginRenamingStrategy()
{
    ForgetNames();
}

void KQoxPluginRenamingStrategy::ForgetNames()
{
    mByLowerName.clear();
    while (!mRecords.empty())
        mRecords.pop_back();
}

void KQoxPluginRenamingStrategy::SetClashSoverType(EClashType type)
{
    if (type == mClashType)
        return;
    ForgetNames();
    mClashType = type;
}

bool KQoxPluginRenamingStrategy::Rename(KName& name)
{
    return mMode == eTO_QOX ? RenameToQOX(name) : RenameFromQOX(name);
}

bool KQoxPluginRenamingStrategy::RenameToQOX(KName& name)
{
    const KString current(name.GetCurrentName());
    bool result = false;
    // Only records equal to the name without regard to case can clash.
    auto candidates = mByLowerName.find(LowerKey(current.ToChars()));
    if (candidates != mByLowerName.end())
    {
        for (NameRecord* record : candidates->second)
        {
            const bool exact = record->mName.Compare(current.ToChars()) == 0;
            if (mClashType != eEXACT_CLASHES && !exact)
            {
                // Bit k (mod 32): position k was upper case in the record
                // ("ul") or lower case there ("lu"); sums wrap at 32 bits.
                uint32_t upperToLower = 0;
                uint32_t lowerToUpper = 0;
                const char* seen = record->mName.ToChars();
                const char* now = current.ToChars();
                for (unsigned int k = 0; k < record->mName.GetLen(); ++k)
                {
                    if (seen[k] == now[k])
                        continue;
                    const uint32_t bit = 1u << (k % kMaskBits);
                    if (IsUpper(seen[k]))
                        upperToLower += bit;
                    else
                        lowerToUpper += bit;
                }
                KString renamed(record->mName);
                renamed += kCaseClashSuffix;
                AppendMask(renamed, kUpperToLower, upperToLower);
                AppendMask(renamed, kLowerToUpper, lowerToUpper);
                name.SetCurrentName(renamed.ToChars());
                result = true;
                break;
            }
            if (mClashType != eCASE_CLASHES && exact)
            {
                ++record->mCount;
                KString renamed(record->mName);
                renamed += kExactClashSuffix;
                renamed += record->mCount;
                name.SetCurrentName(renamed.ToChars());
                result = true;
                break;
            }
        }
    }
    auto record = std::make_unique<NameRecord>();
    record->mName = name.GetCurrentName();
    record->mCount = 0;
    mByLowerName[LowerKey(record->mName.ToChars())].push_back(record.get());
    mRecords.push_back(std::move(record));
    return result;
}

bool KQoxPluginRenamingStrategy::RenameFromQOX(KName& name)
{
    KString text(name.GetCurrentName());
    bool result = false;
    bool ok = true;
    int close = -1;
    int p = text.Find(kExactClashSuffix, 0);
    if (p < 0)
    {
        p = text.ReverseFind('(');
        close = text.ReverseFind(')');
        if (p >= 0 && close >= 0 && p < close)
            for (int i = p + 1; i < close && ok; ++i)
                ok = IsDigit(text.Buffer()[i]);
    }
    const int length = static_cast<int>(text.GetLen());
    if (ok && p > 0)
    {
        name.SetInitialName(text.Left(static_cast<unsigned int>(p)).ToChars());
        if (mParenthesisFlag)
        {
            if (p < length)
                text.Buffer()[p] = '_';
            if (p < close && close < length)
                text.Buffer()[close] = '_';
        }
        name.SetCurrentName(text.ToChars());
        result = true;
    }

    const int q = text.Find(kCaseClashSuffix, 0);
    if (q < 0)
    {
        const KString initial(name.GetInitialName());
        const KString current(name.GetCurrentName());
        name.SetInitialName(current.ToChars());
        name.SetCurrentName(initial.ToChars());
    }
    else
    {
        const KString tail = text.Mid(static_cast<unsigned int>(q));
        uint32_t upperToLower = 0;
        uint32_t lowerToUpper = 0;
        const int ul = tail.Find(kUpperToLower, 0);
        if (ul >= 0)
            upperToLower = ReadMask(tail.ToChars() + ul + 2);
        const int lu = tail.Find(kLowerToUpper, 0);
        if (lu >= 0)
            lowerToUpper = ReadMask(tail.ToChars() + lu + 2);
        name.SetInitialName(text.ToChars());
        // Only letters of the base name exist to be changed.
        char* letters = text.Buffer();
        for (int i = 0; i < kMaskBits && i < q; ++i)
            if (upperToLower & (1u << i))
                letters[i] = ToLower(letters[i]);
        for (int i = 0; i < kMaskBits && i < q; ++i)
            if (lowerToUpper & (1u << i))
                letters[i] = ToUpper(letters[i]);
        name.SetCurrentName(text.Left(static_cast<unsigned int>(q)).ToChars());
        result = true;
    }

    KString current(name.GetCurrentName());
    name.SetCurrentName(ReplaceNonAlphaNum(current, "_").ToChars());
    return result;
}

KString& KQoxPluginRenamingStrategy::ReplaceNonAlphaNum(KString& text, const char* replacement)
{
    // No replacement character: a zero byte would cut the text short.
    if (!replacement || !*replacement)
        return text;
    const char with = replacement[0];
    char* bytes = text.Buffer();
    for (unsigned int i = 0; i < text.GetLen(); ++i)
        if (!IsUpper(bytes[i]) && !IsLower(bytes[i]) && !IsDigit(bytes[i]))
            bytes[i] = with;
    return text;
}

KString KQoxPluginRenamingStrategy::NoPrefixName(const char* name)
{
    const KString text(name ? name : "");
    const int separator = text.Find("::", 0);
    if (separator < 0)
        return text;
    return text.Mid(static_cast<unsigned int>(separator) + 2);
}

KString KQoxPluginRenamingStrategy::NoPrefixName(const KString& name)
{
    return NoPrefixName(name.ToChars());
}

} // namespace qoxsdk_600
