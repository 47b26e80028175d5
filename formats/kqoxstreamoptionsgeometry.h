#ifndef QOX_FORMATS_KQOXSTREAMOPTIONSGEOMETRY_H
#define QOX_FORMATS_KQOXSTREAMOPTIONSGEOMETRY_H

// The option sets of the geometry formats (OBJ, 3DS) and the renaming of
// node and material names to 3DS lengths.

#include "base/kname.h"
#include "base/kstring.h"
#include "object/kstream.h"

namespace qoxsdk_600 {

// An option set of numbered integer options 1 to 17, each with a name, and a
// take name. An option is on when GetOption returns exactly 1.
class KStreamOptionsBase : public KStreamOptions
{
    KPLUG_CLASS_DECLARE(KStreamOptionsBase)
public:
    enum EOption
    {
        eOPTION_FIRST = 1,
        eOPTION_LAST = 17
    };

    KStreamOptionsBase();
    ~KStreamOptionsBase() override {}

    // Every option 0 with no name, no take name.
    void Reset() override;

    // The value of option 1 to 17; 0 for any other number.
    int GetOption(int option) const;
    // Sets option 1 to 17; false (nothing changed) for any other number.
    bool SetOption(int option, int value);
    // The option's name; "" for an unnamed or unknown option.
    const char* GetOptionName(int option) const;
    // The option under which this one is grouped (0: none).
    int GetOptionGroup(int option) const;

    void SetTakeName(const char* name) { mTakeName = name ? name : ""; }
    const char* GetTakeName() const { return mTakeName.ToChars(); }

protected:
    // Declares option number with its name, default value and group.
    void DefineOption(int option, const char* name, int value, int group = 0);

private:
    static bool IsValid(int option) { return option >= eOPTION_FIRST && option <= eOPTION_LAST; }
    int mValues[eOPTION_LAST + 1];
    const char* mNames[eOPTION_LAST + 1];
    int mGroups[eOPTION_LAST + 1];
    KString mTakeName;
};

// OBJ: 1 "Create Reference Node" 1, 2 "Force Triangulation" 0,
// 3 "Evaluate Link/Shape deformations" 1.
class KStreamOptionsObj : public KStreamOptionsBase
{
    KPLUG_CLASS_DECLARE(KStreamOptionsObj)
public:
    enum
    {
        eCREATE_REFERENCE_NODE = 1,
        eFORCE_TRIANGULATION = 2,
        eEVALUATE_DEFORMATIONS = 3
    };
    KStreamOptionsObj();
    void Reset() override;
};

// 3DS: 1 "Create Reference Node" 0, 7 "Materials" 1, 8 "Texture Mapping" 1
// (grouped under 7), 9 "Anim" 1, 10 "Geometries" 1, 11 "Lights" 1,
// 12 "Camera" 1, 13 "Ambient Light" 1, 14 "Rescale" 1, 15 "Reduce Keys" 0,
// 16 "Smooth Group" 1, 17 "UV per polygon" 1.
class KStreamOptions3ds : public KStreamOptionsBase
{
    KPLUG_CLASS_DECLARE(KStreamOptions3ds)
public:
    KStreamOptions3ds();
    void Reset() override;
};

// DXF: 1 "Create Reference Node" 1, 2 "Force Triangulation" 1,
// 3 "Evaluate Link/Shape deformations" 1, 4 "Weld Vertices" 1,
// 6 "Layer~Block~Entity" 0 (list entry: 0 Layer, 1 Block, 2 Entity).
// Options 1, 4 and 6 serve the reader, 2 and 3 the writer.
class KStreamOptionsDxf : public KStreamOptionsBase
{
    KPLUG_CLASS_DECLARE(KStreamOptionsDxf)
public:
    enum
    {
        eCREATE_REFERENCE_NODE = 1,
        eFORCE_TRIANGULATION = 2,
        eEVALUATE_DEFORMATIONS = 3,
        eWELD_VERTICES = 4,
        eOBJECT_DERIVATION = 6
    };
    // How scene objects are derived from the file's entities.
    enum EObjectDerivation
    {
        eBY_LAYER = 0,
        eBY_ENTITY = 1,
        eBY_BLOCK = 2
    };
    KStreamOptionsDxf();
    void Reset() override;

    // Maps option 6 to a derivation and stores it: entry 0 by layer, 1 by
    // block, 2 by entity; any other value returns the one stored before.
    EObjectDerivation GetObjectDerivation();

private:
    EObjectDerivation mDerivation = eBY_LAYER;
};

// A new 3DS option set with its defaults, owned by the caller.
KStreamOptions3ds* KStreamOptions3dsCreate();

// Renames to a 3DS length: drops everything up to and including the first
// "::", cuts the text to maxLength - 3 characters, then numbers repeats as
// KNumberRenamingStrategy does. Works on the name's current text.
class KRenamingStrategy3DS : public KNumberRenamingStrategy
{
public:
    using KNumberRenamingStrategy::Rename;
    bool Rename(KName& name, int maxLength);
};

} // namespace qoxsdk_600

#endif
