#ifndef QOX_FILEIO_KQOXFILESCENE_H
#define QOX_FILEIO_KQOXFILESCENE_H

// KQoxFileScene: what a native file holds of a scene, gathered for the
// readers and writers: the node tree under one root, the textures and video
// clips, the take descriptions and the current take, the scene information
// and the global settings. Objects come from (and stay owned by) the SDK
// manager; the take descriptions and settings are held here.

#include <memory>
#include <vector>

#include "base/kstring.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxglobaltimesettings.h"
#include "scene/kqoxtakeinfo.h"

class KPropertyObjectList;

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxCharacter;
class KQoxCharacterPose;
class KQoxControlSetPlug;
class KQoxGlobalCameraSettings;
class KQoxGenericNode;
class KQoxMaterial;
class KQoxNode;
class KQoxObject;
class KQoxPose;
class KQoxScene;
class KQoxSceneInfo;
class KQoxSdkManager;
class KQoxTakeNodeContainer;
class KQoxTexture;
class KQoxVideo;

// User properties read for an object that is made only once the whole read
// has succeeded: an object of the same kind made for the read holds them
// with their values (so its own property names stay its own) until CopyTo
// gives them to the object made. The holder goes with this, and with it
// every user property it was given.
class KQoxFileUserProperties
{
public:
    KQoxFileUserProperties() = default;
    KQoxFileUserProperties(KQoxFileUserProperties&& other) noexcept;
    KQoxFileUserProperties& operator=(KQoxFileUserProperties&& other) noexcept;
    KQoxFileUserProperties(const KQoxFileUserProperties&) = delete;
    KQoxFileUserProperties& operator=(const KQoxFileUserProperties&) = delete;
    ~KQoxFileUserProperties();

    // Takes over holder (made with new); one held before goes.
    void Hold(KQoxSdkManager& manager, KQoxTakeNodeContainer* holder);
    // Gives target, in order, a user property like each one added to the
    // holder: name, type, label, flags, limits and value. A name target
    // has already is passed over.
    void CopyTo(KQoxObject& target) const;

private:
    void Release();

    KQoxSdkManager* mManager = nullptr;
    KQoxTakeNodeContainer* mHolder = nullptr;
};

// A character's settings as the file holds them: its name, its user
// properties and, by parameter name, the mode and value of each filter-set
// parameter.
struct KQoxFileCharacter
{
    struct Param
    {
        KString mName;
        int mMode;
        double mValue;
    };
    // One link read: the node id, the node (null: none), template and offsets.
    struct Link
    {
        int mId;
        KQoxNode* mNode;
        KString mTemplateName;
        double mOffsets[12]; // T, R, S: 4 each
    };
    // The control set read.
    struct ControlSet
    {
        bool mRead = false;
        int mType = 0;
        bool mUseAxis = false;
        bool mLockTransform = false;
        bool mLock3DPick = false;
        struct Link
        {
            int mId;
            KQoxNode* mNode;
            KString mTemplateName;
        };
        std::vector<Link> mLinks;
        struct Effector
        {
            int mId;
            KQoxNode* mNode;
            bool mFlags[5];
        };
        std::vector<Effector> mEffectors;
        struct Aux
        {
            int mId;
            int mSet;
            KQoxNode* mNode;
        };
        std::vector<Aux> mAux;
    };
    KQoxCharacter* mCharacter = nullptr;    // the scene's own (writing); null for one read
    KString mName;                          // without its "Constraint::" prefix
    KQoxFileUserProperties mUserProperties; // read
    std::vector<Param> mParams;
    std::vector<Link> mLinks;
    ControlSet mControlSet;
};

// A control-set plug read: its name without prefix, its two values, its
// user properties and the nodes of its lists by list name.
struct KQoxFilePlug
{
    KString mName;
    bool mUseAxis = true;
    int mType = 0;
    KQoxFileUserProperties mUserProperties;
    std::vector<std::pair<KString, std::vector<KQoxNode*>>> mLists;
};

// The link or effector list of a plug of that name; null when none.
KPropertyObjectList* FindPlugList(KQoxControlSetPlug& plug, const char* name);

// Appends every node under root (root excluded), parents before children, in
// child order; iterative, so trees of any depth are walked.
void CollectNodesUnder(KQoxNode* root, std::vector<KQoxNode*>& out);

struct KQoxFileScene;

// A character pose read: its name without prefix and its scene's content,
// whose nodes hang under a holder root until the pose is made.
struct KQoxFilePose
{
    KString mName;
    std::unique_ptr<KQoxFileScene> mContent;
};

struct KQoxFileScene
{
    explicit KQoxFileScene(KQoxSdkManager& manager)
        : mManager(manager)
    {}
    KQoxFileScene(const KQoxFileScene&) = delete;
    KQoxFileScene& operator=(const KQoxFileScene&) = delete;

    KQoxSdkManager& mManager;
    KQoxNode* mRoot = nullptr; // the reader makes one when there is none
    std::vector<KQoxTexture*> mTextures;
    std::vector<KQoxVideo*> mVideos;
    std::vector<KQoxMaterial*> mMaterials;
    std::vector<KQoxPose*> mPoses;
    std::vector<KQoxGenericNode*> mGenericNodes;
    std::vector<KQoxFileCharacter> mCharacters;
    std::vector<KQoxFilePlug> mPlugs; // read (writing goes through mScenePlugs)
    std::vector<KQoxControlSetPlug*> mScenePlugs;
    std::vector<KQoxCharacterPose*> mSceneCharacterPoses; // writing
    // The camera switcher: the scene's (writing), or a node made by the
    // read holding what the file has of it, handed over by Apply.
    KQoxNode* mCameraSwitcher = nullptr;
    bool mOwnsCameraSwitcher = false;
    std::vector<KQoxFilePose> mCharacterPoses; // read
    // A pose's scene already holds its character: one read of the same name
    // fills it instead of making another.
    bool mFillCharactersByName = false;
    std::vector<std::unique_ptr<KQoxTakeInfo>> mTakeInfos;
    KString mCurrentTakeName;
    KQoxSceneInfo* mSceneInfo = nullptr; // from the manager; may be null
    KQoxGlobalLightSettings mLightSettings;
    KQoxGlobalTimeSettings mTimeSettings;
    // Writing: the scene's camera settings. Reading: what the file holds of
    // them, the producer cameras made through the manager and owned here.
    KQoxGlobalCameraSettings* mCameraSettings = nullptr;
    bool mHasCameraSettings = false;
    KString mDefaultCamera;
    int mDefaultViewingMode = 0;
    std::vector<std::pair<KString, KQoxCamera*>> mProducerCameras;

    // Destroys the producer cameras read and not handed over.
    ~KQoxFileScene();
    // The camera switcher read into the scene's: names and renumbered
    // "Camera Index" curves of every take.
    void ApplyCameraSwitcher(KQoxScene& scene);

    // The take description of that name, or null.
    KQoxTakeInfo* FindTakeInfo(const char* name) const;

    // What the scene holds: its root, the textures and clips of its entity,
    // its take descriptions (in take order; an empty one for a take that has
    // none, the Default take excepted) and current take, its scene
    // information and a copy of its global settings.
    void Gather(KQoxScene& scene);
    // Hands what a read made to the scene: textures and clips join its
    // entity, takes missing in the scene are made, descriptions, current
    // take, scene information and settings are set (the camera settings
    // take the producer cameras read and the default camera once the nodes
    // are in place). Each character read is
    // made, its filter set takes the parameters read (unknown names are
    // skipped) and its properties are brought into agreement with it; its
    // links are set with their node link properties. A character, pose or
    // plug that cannot be made for lack of memory throws std::bad_alloc (the
    // read fails), never leaves the scene without it.
    void Apply(KQoxScene& scene);
};

} // namespace qoxsdk_600

#endif
