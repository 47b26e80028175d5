#ifndef QOX_SCENE_KQOXSCENE_H
#define QOX_SCENE_KQOXSCENE_H

// KQoxScene: one scene.
//
// The scene holds its objects through its entity (root node "Model::RootNode"
// and the node, material, texture, video, generic-node and deformer lists),
// a camera switcher node outside the hierarchy, the characters, control-set
// plugs and character poses it owns, the poses it lists (the manager owns
// them), the scene information and the global light, camera and time
// settings, the current take name and one description per take.
//
// Take operations visit the camera switcher node first, then every node of
// the entity, every texture, every material and, where said, every generic
// node. They never undo what the objects that succeeded did. Scenes are made
// and destroyed only by the SDK manager (CreateKQoxScene, DestroyKQoxScene);
// the root node is the manager's to destroy, never the scene's.

#include <memory>
#include <vector>

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxCharacter;
class KQoxCharacterPose;
class KQoxControlSetPlug;
class KQoxDeformer;
class KQoxEntity;
class KQoxGenericNode;
class KQoxMaterial;
class KQoxGlobalCameraSettings;
class KQoxGlobalLightSettings;
class KQoxGlobalTimeSettings;
class KQoxNode;
class KQoxObject;
class KQoxPose;
class KQoxSceneInfo;
class KQoxSdkManager;
class KQoxTakeInfo;
class KQoxTakeNodeContainer;
class KQoxTexture;

class KQoxScene
{
public:
    // Sets up the entity (with the root node), the camera switcher node
    // "Model::Camera Switcher" (hidden, shading mode 1, not under the root,
    // holding a new camera switcher) and the three settings objects. Made
    // through the manager only.
    explicit KQoxScene(KQoxSdkManager& manager);
    // Everything the scene owns goes; the root node and the poses stay.
    ~KQoxScene();
    KQoxScene(const KQoxScene&) = delete;
    KQoxScene& operator=(const KQoxScene&) = delete;

    // Back to the state after construction: the root's subtrees destroyed,
    // extra takes removed, the camera switcher reset, the scene information,
    // characters, control-set plugs and character poses destroyed, the poses
    // taken out, the generic nodes taken out and destroyed, the settings
    // restored, the take name and descriptions gone. Materials, textures,
    // videos and deformers stay.
    void Clear();

    // Hierarchy and entity ----------------------------------------------------
    KQoxNode* GetRootNode() const;
    KQoxNode* GetCameraSwitcher() const { return mCameraSwitcher; }
    // Destroys the present camera switcher node (recursively, with its
    // attribute) and takes the given node in its place.
    void ReplaceCameraSwitcher(KQoxNode* node);
    KQoxEntity* GetEntity() const { return mEntity.get(); }
    // True when no object that the object's namespace consults has the name.
    bool ValidateNewName(KQoxObject& object, const char* name);
    // Empty the array, then append the entity's textures (materials) in
    // entity order (not owned).
    void FillTextureArray(KArrayTemplate<KQoxTexture*>& textures);
    void FillMaterialArray(KArrayTemplate<KQoxMaterial*>& materials);

    // Generic nodes and deformers, as the entity holds them ------------------------
    int GetGenericNodeCount() const;
    // Null out of range, or for an entry that is no generic node.
    KQoxGenericNode* GetGenericNode(int index);
    // False for null; else the node joins (leaves) the scene's entity. A
    // removed node is not destroyed.
    bool AddGenericNode(KQoxGenericNode* node);
    bool RemoveGenericNode(KQoxGenericNode* node);
    // All deformers.
    int GetDeformerCount() const;
    // The deformer of that full name, or null.
    KQoxDeformer* GetDeformer(const char* name);
    bool AddDeformer(KQoxDeformer* deformer);
    bool RemoveDeformer(KQoxDeformer* deformer);
    // Deformers of one type (0: any), in entity order; null out of range.
    int GetDeformerCount(int type);
    KQoxDeformer* GetDeformer(int index, int type);

    // Version-5 and version-6 forms (kqoxscene_conversion.cpp) --------------------
    // Materials and textures held by pointer in the layers become sources of
    // their geometry's node (once); index-to-direct entries past the direct
    // array become -1.
    void ConnectMaterials();
    void ConnectTextures();
    // Every texture with a file name gets a video clip as its first source
    // unless it has one.
    void ConnectVideos();
    // The layers' direct arrays are filled from the node's material (texture)
    // sources; index-to-direct entries are renumbered in one step.
    void BuildMaterialLayersDirectArray();
    void BuildTextureLayersDirectArray();
    // A skin per geometry with links, a cluster per link with a bone; the
    // nodes become sources ("SrcModelReference" for the associate model).
    void BuildKQoxDeformerFromKQoxLink();
    // Links rebuilt from the clusters of every skin, on every geometry node
    // the skin is connected to.
    void BuildKQoxLinkFromKQoxDeformer();
    // Takes every deformer out of the entity (clusters first) and destroys it.
    void RemoveKQoxDeformers();

    // Characters, control-set plugs and character poses (owned) ---------------------
    // The character library makes and destroys them (kqoxscene_characters.cpp
    // there). Create names the object "Constraint::", "ControlSetPlug::" or
    // "Pose::" + the name (PrefixName), appends it and returns its index, -1
    // when it cannot be made. Destroy removes the object at an index, calls
    // its Destruct and deletes it; an index out of range does nothing.
    int CreateCharacter(const char* name);
    void DestroyCharacter(int index);
    int CreateControlSetPlug(const char* name);
    void DestroyControlSetPlug(int index);
    int CreateCharacterPose(const char* name);
    void DestroyCharacterPose(int index);
    // Destroys every character, control-set plug and character pose of a
    // scene. The character library installs it when it makes the first one;
    // Clear and the destructor call it.
    typedef void (*CharacterObjectsDestroyFunction)(KQoxScene& scene);
    static void SetCharacterObjectsDestroyFunction(CharacterObjectsDestroyFunction function);
    // Null outside 0 to count - 1.
    int GetCharacterCount() const { return mCharacters.GetCount(); }
    KQoxCharacter* GetCharacter(int index) const;
    int GetControlSetPlugCount() const { return mControlSetPlugs.GetCount(); }
    KQoxControlSetPlug* GetControlSetPlug(int index) const;
    int GetCharacterPoseCount() const { return mCharacterPoses.GetCount(); }
    KQoxCharacterPose* GetCharacterPose(int index) const;

    // Poses (listed, not owned) ----------------------------------------------------
    int GetPoseCount() const { return mPoses.GetCount(); }
    // Null out of range.
    KQoxPose* GetPose(int index) const;
    // False (nothing changes) for null or a pose already listed.
    bool AddPose(KQoxPose* pose);
    // Removes the first occurrence; false when absent. The pose stays alive.
    bool RemovePose(KQoxPose* pose);
    // False for an index out of range.
    bool RemovePose(int index);

    // Settings and information -------------------------------------------------------
    KQoxSceneInfo* GetSceneInfo() const { return mSceneInfo; }
    // Stores the pointer; the information it replaces is destroyed through
    // the manager.
    void SetSceneInfo(KQoxSceneInfo* sceneInfo);
    KQoxGlobalLightSettings& GetGlobalLightSettings() { return *mLightSettings; }
    KQoxGlobalCameraSettings& GetGlobalCameraSettings() { return *mCameraSettings; }
    KQoxGlobalTimeSettings& GetGlobalTimeSettings() { return *mTimeSettings; }

    // Takes --------------------------------------------------------------------------
    // Every object gets a take node of that name; false (code 0, "At least
    // one node, texture or material already has a take called <name>") when
    // any of them could not make one.
    bool CreateTake(const char* name);
    // False ("Not all nodes, textures and materials have a take called
    // <name>") when any object could not remove it. Descriptions and the
    // current take name stay.
    bool RemoveTake(const char* name);
    // Stores the name first, then switches every object, generic nodes
    // included; false ("Not all nodes have a take node called <name>") when
    // any object could not switch.
    bool SetCurrentTake(const char* name);
    // Empty until SetCurrentTake is called.
    const char* GetCurrentTakeName() const { return mCurrentTakeName.ToChars(); }
    // Deletes the strings in the array, then fills it with every distinct take
    // name in order of first appearance (the camera switcher's "Default"
    // first). The caller owns the new strings.
    void FillTakeNameArray(KArrayTemplate<KString*>& names);
    // True when some object has a take of that name.
    bool FindTakeName(const KString& name);
    // False (nothing stored) when no object has the take; else the
    // description replaces the stored one of that name or is appended.
    bool SetTakeInfo(const KQoxTakeInfo& info);
    // The stored description of that exact name, or null.
    KQoxTakeInfo* GetTakeInfo(const KString& name);
    int GetTakeInfoCount() const { return static_cast<int>(mTakeInfos.size()); }

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    // Calls the function on the camera switcher, every node, texture and
    // material, and, with generic nodes, every generic node; true when every
    // call returned true.
    template <class F>
    bool ForEachAnimated(bool withGenericNodes, F function);
    void DestroySceneInfo();
    void DestroyCharacterObjects();
    void SetTakeError(const char* text, const char* name);

    KQoxSdkManager& mManager;
    std::unique_ptr<KQoxEntity> mEntity;
    KQoxNode* mCameraSwitcher; // made and destroyed through the manager
    KArrayTemplate<KQoxCharacter*> mCharacters;
    KArrayTemplate<KQoxControlSetPlug*> mControlSetPlugs;
    KArrayTemplate<KQoxCharacterPose*> mCharacterPoses;
    KArrayTemplate<KQoxPose*> mPoses; // not owned
    std::unique_ptr<KQoxGlobalLightSettings> mLightSettings;
    std::unique_ptr<KQoxGlobalCameraSettings> mCameraSettings;
    std::unique_ptr<KQoxGlobalTimeSettings> mTimeSettings;
    KString mCurrentTakeName;
    std::vector<std::unique_ptr<KQoxTakeInfo>> mTakeInfos;
    KQoxSceneInfo* mSceneInfo; // made and destroyed through the manager
    KError mError;
};

// Gives the object (a texture, or a node with a gobo) a video clip of the file
// as its first source, unless it has one already. The clip is named after the
// media name, or the fallback name when that is empty; nothing without a file
// name.
void ConnectVideoToNodeUsing(KQoxTakeNodeContainer* pObject, const char* pFileName, const char* pRelativeFileName,
                             const char* pMediaName, const char* pFallbackName, KQoxSdkManager* pManager);

} // namespace qoxsdk_600

#endif
