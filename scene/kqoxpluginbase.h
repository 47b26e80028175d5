#ifndef QOX_SCENE_KQOXPLUGINBASE_H
#define QOX_SCENE_KQOXPLUGINBASE_H

// Bases of a host application's import/export plug-in built on the SDK.
//
// An exporter may put a root wrapper node (its name contains "Qox_Root")
// above a scene's top nodes. KQoxPluginBase recognises such wrappers;
// KQoxPluginImportBase decides, before an import, which of them can be
// dropped because, combined with the host's world matrix, they carry no
// transform. The host importer supplies the world matrix.

#include "base/karray.h"
#include "base/kmath_kernels.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxNode;

class KQoxPluginBase
{
public:
    KQoxPluginBase();
    virtual ~KQoxPluginBase();

    // False for null; true when the node's full name contains the root name
    // (case-sensitive); otherwise IsAlternativeQoxRootNode.
    bool IsQoxRootNode(KQoxNode* node);
    virtual bool IsAlternativeQoxRootNode(KQoxNode* node);

    const KString& GetRootName() const { return mRootName; }

protected:
    KString mRootName; // "Qox_Root"
};

class KQoxPluginImportBase : public KQoxPluginBase
{
public:
    KQoxPluginImportBase();
    ~KQoxPluginImportBase() override;

    // A wrapper that Preprocess chose to drop.
    bool IsExcludedQoxRoot(KQoxNode* node);
    // False for a node that needs no wrapper; else whether it is not a
    // dropped wrapper.
    virtual bool NeedQoxRoot(KQoxNode* node);

    // Sorts the root's wrapper children: a wrapper whose global matrix,
    // combined with the world matrix, is the identity (within 0.0001 in the
    // first three columns) is dropped and its children need no wrapper; any
    // other wrapper needs none itself. Ends by applying the world matrix to
    // the root. Nothing for a null root.
    void Preprocess(KQoxNode* root);

    // Fills the host's world matrix; it is handed the identity.
    virtual void ComputeWorldTransform(KgeAMatrix& world) = 0;
    // Sets the node's default translation, rotation and scaling from the
    // world matrix and recomputes its global matrix of pivot set 0.
    virtual void CustomApplyWorldTransform(KQoxNode* node, KgeAMatrix& world, bool worldIsIdentity);

    const KArrayTemplate<KQoxNode*>& GetUnwrappedNodes() const { return mUnwrappedNodes; }
    const KArrayTemplate<KQoxNode*>& GetExcludedQoxRoots() const { return mExcludedRoots; }

    // Whether every element of the first three columns is within 0.0001 of
    // the identity's.
    static bool IsIdentity(const KgeAMatrix& matrix);

private:
    KArrayTemplate<KQoxNode*> mUnwrappedNodes; // not owned
    KArrayTemplate<KQoxNode*> mExcludedRoots;  // not owned
};

} // namespace qoxsdk_600

#endif
