#ifndef QOX_SCENE_KQOXPLUGINRENAMINGSTRATEGY_H
#define QOX_SCENE_KQOXPLUGINRENAMINGSTRATEGY_H

// KQoxPluginRenamingStrategy: translates object names between a host's naming
// rules and the file's.
//
// Towards the file (RenameToQOX) names are made unique: an exact repeat of an
// earlier name gets "_ncl1_" and a counter, a repeat that differs only in
// letter case gets "_ncl2_" with "ul"/"lu" bit masks that record which
// letters to lower or raise again. From the file (RenameFromQOX) those
// suffixes go, the letter case comes back, and every character that is not
// an ASCII letter or digit is replaced. The file's form stays in the initial
// name.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/kname.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxPluginRenamingStrategy : public KRenamingStrategy
{
public:
    enum EMode : int
    {
        eTO_QOX = 0,  // Rename runs RenameToQOX
        eFROM_QOX = 1 // any other value: Rename runs RenameFromQOX
    };

    enum EClashType : int
    {
        eBOTH_CLASHES = 0,  // exact repeats and repeats in another case
        eEXACT_CLASHES = 1, // exact repeats only
        eCASE_CLASHES = 2   // repeats in another case only
    };

    // pParenthesisFlag: RenameFromQOX turns the parentheses of a trailing
    // "(digits)" into '_' in the initial name.
    KQoxPluginRenamingStrategy(EMode mode, bool parenthesisFlag);
    ~KQoxPluginRenamingStrategy() override;
    KQoxPluginRenamingStrategy(const KQoxPluginRenamingStrategy&) = delete;
    KQoxPluginRenamingStrategy& operator=(const KQoxPluginRenamingStrategy&) = delete;

    // A different type forgets every name seen.
    void SetClashSoverType(EClashType type);
    EClashType GetClashSoverType() const { return mClashType; }

    // RenameToQOX in mode 0, else RenameFromQOX; true when the name changed.
    bool Rename(KName& name) override;
    // Does nothing.
    void Clear() override {}
    // Null.
    KRenamingStrategy* Clone() override { return nullptr; }

    virtual bool RenameToQOX(KName& name);
    virtual bool RenameFromQOX(KName& name);
    // Replaces in place every byte that is not an ASCII letter or digit by
    // the first character of the replacement (nothing changes when that is
    // empty), and returns the text.
    virtual KString& ReplaceNonAlphaNum(KString& text, const char* replacement);

    // The name without everything up to and including its first "::".
    static KString NoPrefixName(const char* name);
    static KString NoPrefixName(const KString& name);

private:
    // A name seen towards the file and the number of its exact repeats.
    struct NameRecord
    {
        KString mName;
        int mCount;
    };

    void ForgetNames();

    EMode mMode;
    EClashType mClashType;
    std::vector<std::unique_ptr<NameRecord>> mRecords;
    // Records by their lower-case name, in the order seen: only those can
    // clash with a name, so the walk over all records need not be made.
    std::unordered_map<std::string, std::vector<NameRecord*>> mByLowerName;
    bool mParenthesisFlag;
};

} // namespace qoxsdk_600

#endif
