#ifndef QOX_FILEIO_KQOXREADERQOX_PRIVATE_H
#define QOX_FILEIO_KQOXREADERQOX_PRIVATE_H

// The state of one native read, shared by the reader's units (one per object
// kind). Not part of the library's interface.

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/kmath_types.h"
#include "fcurve/kfcurveplot.h"
#include "fileio/iqoxobject.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxstreamoptionsqox.h"

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxGenericNode;
class KQoxGeometry;
class KQoxLink;
class KQoxMesh;
class KQoxNurb;
class KQoxPatch;
class KQoxMaterial;
class KQoxNode;
class KQoxPose;
class KQoxObject;
class KQoxTakeNodeContainer;
class KQoxSceneInfo;
class KQoxThumbnail;
struct ImageConverterBuffer;

// The file name and relative file name fields of a texture or clip's
// block, given to it and read back as given (KQoxExpectText): a name lost
// for want of memory fails the read with "Out of memory".
template <class FileNamed>
void ReadFileNames(KQox& file, FileNamed& object)
{
    const char* name = file.FieldReadC(qoxnative::kFileName, "");
    object.SetFileName(name);
    KQoxExpectText(object.GetFileName(), name);
    const char* relative = file.FieldReadC(qoxnative::kRelativeFileName, "");
    object.SetRelativeFileName(relative);
    KQoxExpectText(object.GetRelativeFileName(), relative);
}

struct KQoxRead6 : qoxnative::KQoxNativePass
{
    using KQoxNativePass::KQoxNativePass;
    // Not copied: mMediaFiles may point into the object itself.
    KQoxRead6(const KQoxRead6&) = delete;
    KQoxRead6& operator=(const KQoxRead6&) = delete;

    // Blocks of plain nodes (no geometry, attribute or user properties)
    // read on other threads while the objects section is read on
    // (kqoxread_nodefill.cpp). The nodes are made here, in file order; their
    // blocks are read in batches of neighbouring records, each through a
    // reader split off the section. A batch is handed on once the section's
    // reading has passed its last record.
    class NodeFill;
    // While the objects section of the file's own scene is read, with
    // sSideBySide on and records enough to gain from it (owned by
    // ReadScene); null otherwise.
    NodeFill* mNodeFill = nullptr;

    // Objects made by this read, by kind in file order (destroyed again when
    // the read fails).
    std::vector<KQoxNode*> mNodes;
    std::vector<KQoxTexture*> mTextures;
    std::vector<KQoxVideo*> mVideos;
    std::vector<KQoxMaterial*> mMaterials;
    std::vector<KQoxPose*> mPoses;
    std::vector<KQoxGenericNode*> mGenericNodes;
    KQoxSceneInfo* mMadeSceneInfo = nullptr; // made by this read
    // The media of clips extracted by this read and the scenes nested in it
    // (kqoxread_media.cpp): into "<file>.media/" beside the file read when
    // that is a folder of the user's own, else into a folder of the user's
    // own under the cache folder (opened only when an image needs it); an
    // image the folder beside has no room for goes to the cache alone. Each
    // image is written to a fresh file and put in place without replacing
    // what is there: a file of the user's with the image's bytes is used as
    // it is (nothing written), an image the reader put there and nobody
    // changed since (the folder's record tells) gives way to a newer one,
    // any other file of the user's is kept and named (and the message says
    // why), anything else at the name (a link, a FIFO, another user's file)
    // makes the image take a numbered name. A folder's record is looked up
    // once, at its first image, and written once, when the read is done
    // with the folder; what the read places meanwhile goes to a journal of
    // its own beside it first, so that a read stopped or killed on the way
    // leaves its images known as its own.
    class MediaFiles
    {
    public:
        // How long a read waits for another that holds a media folder, in
        // milliseconds: once per read at most (a second folder held is
        // tried without waiting). KSaveLock::kWaitMilliseconds; tests lower
        // it.
        static std::atomic<int> sHeldFolderWait;
        // Waits begun for a held media folder, for tests.
        static std::atomic<int> sHeldFolderWaits;

        // Where an image is to be found: its full path, and its path from
        // the folder of the file read.
        struct Extracted
        {
            std::string mPath;
            std::string mRelative;
        };
        MediaFiles() = default;
        MediaFiles(const MediaFiles&) = delete;
        MediaFiles& operator=(const MediaFiles&) = delete;
        // Extracts the raw value the file stands at, the content of the clip
        // whose media file is mediaName (a TIFF image when tif is set,
        // recreated through the manager's image converters): true with
        // where the clip's file now is; a media name met before gives the
        // same file again (the value is left unread). False when nothing
        // was extracted: the file read from memory, a name that names no
        // file, damage (the file's error says so), or a failure the message
        // names.
        bool Extract(KQox& file, KQoxSdkManager& manager, const char* mediaName, bool tif, const Extracted*& where);
        // Lines for the read's message: images not extracted and why, images
        // put in the cache for want of room beside the file, files kept that
        // differ from the image in the file.
        const std::string& Message() const { return mMessage; }

    private:
        // What a folder's record tells and what this read adds to it
        // (kqoxread_media.cpp).
        struct Record;
        // A folder images go to: opened when an image first needs it, then
        // kept open until it is refused for good.
        struct Folder
        {
            Folder();
            ~Folder();
            Folder(const Folder&) = delete;
            Folder& operator=(const Folder&) = delete;
            // Writes the record (where this read holds the folder and added
            // to it) and lets the folder go. Allocates nothing.
            void Close();

            int mFd = -1;                          // -1 when not open
            bool mTried = false;                   // opened (or refused) once
            std::string mPath;                     // its path
            std::string mRelative;                 // its path from the folder of the file read
            std::string mRefused;                  // "<folder>: <why>" once refused
            std::unordered_set<std::string> mMade; // names this read took there
            std::unique_ptr<Record> mRecord;       // null until its first image
        };
        // The folder images go to: the first candidate (beside the file,
        // then the cache) that takes them; null when none is left.
        Folder* Current(KQox& file);
        // The folder opened, at its first need: false when it is refused.
        bool Opened(KQox& file, Folder& folder);
        bool OpenBeside(KQox& file, Folder& folder, std::string& why);
        bool OpenCache(KQox& file, Folder& folder, std::string& why);
        // The folder refused for why, for every image after.
        void Refuse(Folder& folder, const std::string& why);
        // "<folder>: <why>; ..." of the folders refused.
        std::string Refusals() const;
        void NotExtracted(const char* mediaName, const std::string& why);
        // The embedded content of an image (kqoxread_media.cpp): its
        // fingerprint, when it could be read.
        struct Content;
        enum class Stand
        {
            eWRITE,  // the image is to be written (and placed)
            eSTANDS, // it stands at name already
            // A file of the user's with other bytes stands at name, and
            // stays: one changed since the reader put it there,
            eRETOUCHED,
            // one no record names,
            eUNRECORDED,
            // or the reader's own, unchanged, in a folder another read holds.
            eHELD
        };
        // The folder's record looked up, at its first image: its lock taken
        // (waiting for it at most once a read), the record read with the
        // journals of reads that are done.
        void Look(Folder& folder);
        // What stands in folder at the first name the image (base, the
        // content the file stands at) may take: raw content is compared
        // byte for byte; converted content stands where the file is what
        // the reader made from this very content, unchanged since. Either
        // way content is fingerprinted, and the value left unread.
        Stand Standing(KQox& file, Folder& folder, bool tif, const std::string& base, Content& content,
                       std::string& name);
        // How putting an image in a folder went.
        enum class Put
        {
            eFOUND,         // it is there (where says where)
            eDAMAGED,       // the file read is damaged
            eNOT_MADE,      // the image cannot be made (why says why)
            eNO_ROOM,       // the folder has no room for it (why names the folder)
            eIMAGE_REFUSED, // the folder refused this image alone (why names it)
            eFOLDER_REFUSED // the folder takes no image (why names it)
        };
        Put PutImage(KQox& file, KQoxSdkManager& manager, Folder& folder, bool tif, const std::string& media,
                     const std::string& base, std::unique_ptr<ImageConverterBuffer>& image, std::string& why,
                     const Extracted*& where);
        // The message's line for a file of the user's kept at name (why: one
        // of eRETOUCHED, eUNRECORDED, eHELD).
        void Kept(const Folder& folder, const std::string& name, Stand why);
        // The image of media found at name in folder.
        void Found(Folder& folder, const std::string& media, const std::string& name, const Extracted*& where);

        Folder mBeside;           // "<file>.media" beside the file read
        Folder mCache;            // the file's folder in the user's cache
        // The file's own folder refused as another user's (to root): the
        // cache, when it takes the images, is named in the message.
        bool mBesideOthers = false;
        unsigned mFreshCount = 0; // fresh files made, for their names
        bool mWaited = false;     // this read waited for a held folder
        std::unordered_map<std::string, Extracted> mByMedia;
        std::unordered_set<std::string> mFailed; // media names not extracted
        std::string mMessage;
    };
    MediaFiles mOwnMediaFiles;
    MediaFiles* mMediaFiles = &mOwnMediaFiles;
    // Clips of this read whose media was extracted (their file names name
    // it), with the path of that file from the folder of the file read.
    struct ExtractedClip
    {
        KQoxVideo* mClip;
        std::string mRelative;
    };
    std::vector<ExtractedClip> mExtractedClips;
    bool mCorrupted = false;
    // Links whose nodes are known by position until every node is read.
    struct PendingLink
    {
        KQoxLink* mLink;
        int mLinked;
        int mAssociate;
    };
    std::vector<PendingLink> mPendingLinks;
    KString mTakeRead; // the take of the last animation section read
    // The takes the file's take list names. A section of a take it leaves
    // out is read whatever the selection (made from that list, it cannot
    // name the take) and gets an empty description.
    std::vector<KString> mListedTakes;
    // Whether large animation sections may be read side by side. Off where
    // a failed read keeps what it made (a take file read into a scene):
    // side by side, the records read before the damage are not those read
    // one after the other.
    bool mSideBySideAllowed = true;
    // Samples (times values) this read may spend baking time warps into
    // channels; beyond it a warp stays attached to its channels.
    long long mTimeWarpBudget = KFCURVE_TIMEWARP_MERGE_BUDGET;
    // Deformers read, by position among the Deformer fields: a skin with the
    // node it deforms and its clusters, a cluster with its data as a link
    // (owned here until a geometry takes it), its skin and its nodes.
    struct FileDeformer
    {
        bool mSkin = true;
        KQoxLink* mLink = nullptr;
        int mNode = -1; // skin: the node whose geometry it deforms
        std::vector<int> mClusters;
        int mOwner = -1; // cluster: its skin
        int mBone = -1;
        int mAssociate = -1;
    };
    std::vector<FileDeformer> mDeformers;
    // Nested scenes (character poses): how deep this read is, and the reads
    // of the scenes nested in it (undone with it).
    int mDepth = 0;
    std::vector<std::unique_ptr<KQoxRead6>> mNested;

    // ---- helpers (kqoxreaderqox.cpp) ----
    // True while the file reads without damage.
    bool Ok();
    // Ok for the file, or for a reader split off it (its own damage only:
    // such readers are read on other threads).
    bool Ok(KQox& file);
    // The user properties of the open object block, then its property list.
    void ObjectHeader(KQoxObject& object, KObject* properties);
    void ReadUserProperties(KQoxObject& object, KObject* properties);
    // Whether the object has a property of that name already (ReadUserProperties
    // makes none for it then).
    static bool HasUserProperty(KQoxObject& object, KObject* properties, const char* name);
    // Whether the open block's user properties (when it lists any) are all
    // ones the object has: reading them then makes nothing. The fields are
    // read to tell; the list itself is left unended (not passed over), for
    // ReadUserProperties to find when the block is read after all.
    static bool UserPropertiesKnown(KQox& file, KQoxObject& object, KObject* properties);
    // Four doubles of the named field of the open list; false (vector
    // unchanged) when the field is missing or holds fewer values.
    bool ReadFour(const char* name, KQoxVector4& vector);
    bool ReadFour(KQox& file, const char* name, KQoxVector4& vector);
    // A thumbnail block of the open list; null when none or damaged.
    KQoxThumbnail* Thumbnail();
    void Destroy();

    // The kinds of objects an animation section holds channels of, by slot;
    // the camera switcher is the scene's one.
    static constexpr int kTakeKinds = 6;
    static constexpr int kSwitcherSlot = 5;
    static constexpr const char* kTakeKindNames[kTakeKinds] = {qoxnative::kModel,       qoxnative::kTexture,
                                                               qoxnative::kVideo,       qoxnative::kMaterial,
                                                               qoxnative::kGenericNode, qoxnative::kCameraSwitcher};
    // The slot of a record kind; -1 for kinds without channels.
    static int TakeKindSlot(const char* kind);
    // Objects read of a slot's kind (the switcher: one), and the one at a
    // position (null outside).
    int TakeObjectCount(int slot) const;
    KQoxTakeNodeContainer* TakeObjectAt(int slot, int position) const;
    // The position of the object of a slot's kind at index among those
    // read, when its name is the one given; -1 otherwise. Changes nothing:
    // readers on several threads ask at once.
    int TakeObjectByIndex(int slot, int index, const char* name) const;
    // TakeObjectByIndex, else the position of the first object of that
    // name; -1 when none.
    int FindObjectPosition(int slot, int index, const char* name);
    // The object FindObjectPosition finds for a kind ("Model", "Texture",
    // ...); null when none.
    KQoxTakeNodeContainer* FindObject(const char* kind, int index, const char* name);
    // The first object of each name, by position, for each slot
    // FindObjectPosition searches by name: made at the first name a
    // position does not answer, so that a file whose positions disagree
    // costs one pass, not one per object. Dropped with each animation
    // section read. Empty until made: a kind with no objects finds nothing
    // either way.
    std::unordered_map<std::string, int> mObjectsByName[kTakeKinds];

    // Everything of the scene in the current section list (the file's, or a
    // nested scene's): objects, connections, take descriptions and the
    // selected takes' animation. False on damage (Destroy undoes it).
    bool ReadScene();

    // ---- units ----
    // The node of record (of the current list), its block read here or
    // handed to mNodeFill; kqoxread_node.cpp.
    void ReadNode(int record);
    // The block of a node (entered in file): everything but the geometry,
    // attribute and user properties, then the state that follows from what
    // was read. file is the reader or one split off it.
    void ReadNodeBlock(IQoxObject& file, KQoxNode& node, int& pivotEnabled);
    void FinishNode(KQoxNode& node, int pivotEnabled);
    // Whether the block entered (a node's) can be read on another thread:
    // it makes nothing but the node's own values (no attribute, no user
    // property the node lacks).
    static bool NodeBlockIsPlain(KQox& file, KQoxNode& node);
    void ReadConnections(); // kqoxread_node.cpp
    // One look-at or up-vector connection into targets (one per node read);
    // false when it names a node outside them, the node itself, or a node
    // that has a target of that kind already.
    bool ReadTargetConnection(std::vector<int>& targets, int node, int target);
    void ReadTexture();     // kqoxread_texture.cpp
    void ReadMaterial();    // kqoxread_material.cpp
    void ReadPose();        // kqoxread_pose.cpp
    void ReadGenericNode(); // kqoxread_pose.cpp
    // kqoxread_mesh.cpp: the open node block's geometry of that kind ("Mesh",
    // "Nurb", "Patch"), and its parts.
    void ReadGeometry(KQoxNode& node, const char* kind);
    bool ReadPolygons(KQoxMesh& mesh);
    bool ReadNurbFields(KQoxNurb& nurb);
    bool ReadPatchFields(KQoxPatch& patch);
    bool ReadLayers(KQoxGeometry& geometry);
    bool ReadLinksAndShapes(KQoxGeometry& geometry); // kqoxread_mesh.cpp
    void ResolveLinks();                             // the links' nodes, once every node is read
    bool ReadLinkFields(KQoxLink& link, int points); // a link's block; indices below points
    void ReadDeformer();                             // kqoxread_deformer.cpp
    // One deformer connection; false when it names what it cannot.
    bool ReadDeformerConnection(const char* kind, int from, int to);
    void ResolveDeformers(); // the clusters' links to the skins' geometries
    void DestroyDeformerLinks();
    void ReadAttribute(KQoxNode& node);               // kqoxread_attribute.cpp
    void ReadDefaults(KQoxTakeNodeContainer& object); // kqoxread_attribute.cpp
    void ReadDefaults(IQoxObject& file, KQoxTakeNodeContainer& object);
    // ReadDefaults for the usual block of an owed Default take; false, with
    // the block left unread, when it is not that (or sPlainDefaults is off).
    bool ReadPlainDefaults(IQoxObject& file, KQoxTakeNodeContainer& object);
    // When false, every Defaults block is read the long way, building the
    // take: tests read files both ways and compare. True by default.
    static bool sPlainDefaults;
    void ReadCameraFields(KQoxCamera& camera);
    void ReadCameraSwitcher();
    void ReadGlobalCameraSettings();
    void ReadVideo(); // kqoxread_video.cpp
    // Textures whose clip's media was extracted and whose own file is not
    // found name the extracted file; kqoxread_video.cpp.
    void PointTexturesAtMedia();
    void ReadCharacter(); // kqoxread_character.cpp
    void ReadControlSet(KQoxFileCharacter::ControlSet& set);
    void ReadCharacterPose(); // kqoxread_pose.cpp: its nested scene
    void ReadControlSetPlug();
    // The node at a position among those read (-1: none); ok false outside.
    KQoxNode* NodeAt(int position, bool& ok);
    void ReadCharacterLinks(KQoxFileCharacter& character);
    // The values of the current field after the name, as the link of an id;
    // false for a second link of the id or a node outside those read.
    bool ReadCharacterLink(KQoxFileCharacter& character, int id);
    void ReadSceneInfo();      // kqoxread_settings.cpp
    void ReadGlobalSettings(); // kqoxread_settings.cpp
    // The takes section: descriptions (kqoxread_takes.cpp).
    static bool ReadTakeList(IQoxObject& file, std::vector<std::unique_ptr<KQoxTakeInfo>>& takes, KString& current,
                             KQoxSdkManager* manager);
    // One animation section, entered; nothing is read when its take is not
    // selected (a take the file's list leaves out counts as selected when
    // onlySelected). A section without its take's name is the take
    // listedName (the file's take list gives it by the section's place; null
    // when it gives none); without either, a section holding anything is
    // damage, as is one naming its take twice.
    void ReadAnimation(bool onlySelected, const char* listedName);
    // The records of the animation section entered, one after the other:
    // each object's take node of that take (made when missing) gets the
    // record's channels; roots gets the take nodes' roots read into.
    void ReadTakeRecords(const KString& take, std::vector<KFCurveNode*>& roots);
    // ReadTakeRecords on several threads, each reading records apart (with
    // no time warps installed). False, nothing read, for a section too
    // small to gain from it or records that cannot be read apart.
    bool ReadTakeRecordsSideBySide(const KString& take);
    // When false, everything is read on the calling thread: tests read
    // files both ways and compare. True by default. Atomic: a test may
    // switch it while reads run on other threads, each of which reads the
    // same either way.
    static std::atomic<bool> sSideBySide;
    // Sections of this many records or more are read on several threads;
    // below, starting them costs more than it gains. 2048 by default; tests
    // and fuzzing lower it.
    static std::atomic<int> sSideBySideRecords;
};

} // namespace qoxsdk_600

#endif
