#ifndef QOX_BASE_KNAME_H
#define QOX_BASE_KNAME_H

// Names and renaming strategies.
//
// KName pairs the name an object was created with (initial name) and the name
// it carries now (current name). A renaming strategy turns a name into one it
// has not seen before; KNumberRenamingStrategy appends a counter to names it
// has already seen.

#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/karray.h"
#include "base/kstring.h"

class KName
{
public:
    KName(const char* name = "");
    KName(const KName& other);
    KName& operator=(const KName& other);

    char* GetInitialName() { return mInitialName.Buffer(); }
    char* GetCurrentName() { return mCurrentName.Buffer(); }
    const char* GetInitialName() const { return mInitialName.ToChars(); }
    const char* GetCurrentName() const { return mCurrentName.ToChars(); }

    // Sets both the initial and the current name.
    void SetInitialName(const char* name);
    // Sets the current name only.
    void SetCurrentName(const char* name);
    // True when the current name differs from the initial one.
    bool IsRenamed() const;

private:
    KString mInitialName;
    KString mCurrentName;
};

class KRenamingStrategy
{
public:
    KRenamingStrategy() {}
    virtual ~KRenamingStrategy() {}

    // Forgets the names seen so far.
    virtual void Clear() = 0;
    // Changes the name's current name in place when needed; true when changed.
    virtual bool Rename(KName& name) = 0;
    // A new strategy of the same kind with nothing seen; the caller owns it.
    virtual KRenamingStrategy* Clone() = 0;

protected:
    KRenamingStrategy(const KRenamingStrategy&) = default;
    KRenamingStrategy& operator=(const KRenamingStrategy&) = default;
};

class KNumberRenamingStrategy : public KRenamingStrategy
{
public:
    KNumberRenamingStrategy();
    ~KNumberRenamingStrategy() override;

    KNumberRenamingStrategy(const KNumberRenamingStrategy&) = delete;
    KNumberRenamingStrategy& operator=(const KNumberRenamingStrategy&) = delete;

    // Deletes every remembered name (last to first).
    void Clear() override;
    // A name not seen before is remembered with counter 0 and kept (false).
    // A name seen before gets the next number of that name appended ("Box"
    // gives "Box1", then "Box2"; true). A number whose result was itself
    // already seen is skipped, and every result is remembered, so no name is
    // ever given out twice. Memory running out throws std::bad_alloc, the
    // text of a name included: a name is never remembered or made short of
    // its text.
    bool Rename(KName& name) override;
    // A new strategy with nothing seen.
    KRenamingStrategy* Clone() override;

protected:
    // A remembered name and the last number appended to it.
    struct NameEntry
    {
        KString mName;
        int mCount;
    };

    // The entry remembering exactly that text (case-sensitive), or null.
    NameEntry* FindEntry(const char* name) const;
    // Remembers a name not seen before.
    NameEntry* AddEntry(const char* name, int count);

private:
    std::vector<std::unique_ptr<NameEntry>> mNames;
    // The entries by their text, so a lookup does not walk every name.
    std::unordered_map<std::string_view, NameEntry*> mIndex;
};

#endif
