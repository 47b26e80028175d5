#ifndef QOX_PLUGIN_QOXZELTNODE_H
#define QOX_PLUGIN_QOXZELTNODE_H

// QoxZeltNode: a scene node tied to the host scene. It keeps its own copies
// of the host DAG path and shape object (so GetDagPath gives the same pointer
// for as long as the node lives), the names the import gives it on the host
// side, and the node's global transform as the host computed it.

#include <memory>

#include "base/kmath_kernels.h"
#include "base/kset.h"
#include "base/kstring.h"
#include "host/zdag.h"
#include "scene/kqoxnode.h"

class QoxZeltNode : public qoxsdk_600::KQoxNode
{
public:
    QoxZeltNode(qoxsdk_600::KQoxSdkManager& manager, const char* name, ZDagPath* path);
    // Deletes every host attribute name the user-property map holds.
    ~QoxZeltNode() override;

    // The node's own copy of its path, or null when none is attached.
    ZDagPath* GetDagPath() { return mHasDagPath ? &mDagPath : nullptr; }
    // Stores a copy; null detaches.
    void SetDagPath(ZDagPath* path);
    // The stored host object (changes through it change the node's copy), or null.
    ZObject* GetShapeObject() { return mHasShapeObject ? &mShapeObject : nullptr; }
    void SetShapeObject(ZObject* object);

    void GetPivotState(EPivotSet set, EPivotState& state) { KQoxNode::GetPivotState(set, state); }
    void SetPivotState(EPivotSet set, EPivotState state) { KQoxNode::SetPivotState(set, state); }

    // The cached global transform: (0,0,0), (0,0,0) degrees and (1,1,1) at first.
    double* GetGlobalTranslation() { return mGlobalT; }
    double* GetGlobalRotation() { return mGlobalR; }
    double* GetGlobalScaling() { return mGlobalS; }
    void SetGlobalTranslation(KgeTVector& v) { Store(mGlobalT, v.x, v.y, v.z); }
    void SetGlobalRotation(KgeRVector& v) { Store(mGlobalR, v.x, v.y, v.z); }
    void SetGlobalScaling(KgeSVector& v) { Store(mGlobalS, v.x, v.y, v.z); }

    // Maps a user property's label to a heap KString naming its host
    // attribute; the node owns and deletes those strings.
    void SetUserPropertyHostName(const char* label, const char* hostName);
    // Null when the label has no entry.
    KString* GetUserPropertyHostName(const char* label);
    KCharPtrSet& GetUserPropertyNameMap() { return mUserPropertyNames; }

    ZString mHostName;    // the host cluster this node stands for (import of clusters)
    bool mMatchedByMerge; // tied to an existing host node by the merge matcher
    KString mNameSpace;   // host namespace of the node; empty: the root namespace
    bool mAddNameSpace;   // the import may add mNameSpace when the host lacks it
    bool mUSeam;          // host surface open in U where the file's is closed
    bool mVSeam;          // the same in V

private:
    static void Store(double* to, double x, double y, double z)
    {
        to[0] = x;
        to[1] = y;
        to[2] = z;
    }

    ZDagPath mDagPath;
    bool mHasDagPath;
    ZObject mShapeObject;
    bool mHasShapeObject;
    double mGlobalT[3];
    double mGlobalR[3];
    double mGlobalS[3];
    KCharPtrSet mUserPropertyNames;
};

#endif
