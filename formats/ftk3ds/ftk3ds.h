#ifndef QOX_FORMATS_FTK3DS_FTK3DS_H
#define QOX_FORMATS_FTK3DS_FTK3DS_H

// The 3DS chunk toolkit: plain records for the meshes, lights, cameras,
// materials, settings and keyframer nodes of a 3DS file, and plain functions
// that read them from and write them to the file's chunk tree.
//
// Records are allocated by the Init… or Get… call that receives a null
// pointer, and freed, with their arrays, by the matching Release… call, which
// also clears the pointer. Records own their arrays (allocated with malloc).
//
// Errors: a failing call sets the flag `ftkerr3ds` and pushes a code with a
// description on the toolkit's error stack. A caller treats a call as failed
// when, tested right after it, `ftkerr3ds` is set and `ignoreftkerr3ds` is
// clear. The flag stays set until ClearErrList3ds or ResetToolkit3ds.
//
// Threads: the flags, the error stack and the list of open files are the
// calling thread's own, so readers and writers on different threads never see
// each other's errors or files. One reader or writer uses the toolkit on a
// thread at a time, and a file is closed on the thread that opened it.

#include <cstdint>

typedef std::uint8_t ubyte3ds;
typedef std::uint16_t ushort3ds;
typedef std::uint32_t ulong3ds;
typedef std::int32_t long3ds;
typedef float float3ds;
typedef char char3ds;

// ---- Errors and the state of each thread ----

// Codes pushed on the error stack.
enum errorcode3ds
{
    NO_FTK3DS_ERR = 0,
    ERR_NO_MEM = 1,             // out of memory
    ERR_INVALID_ARG = 2,        // a null file or record, or a field out of range
    ERR_INVALID_DATA = 3,       // a record whose contents cannot be stored
    ERR_INVALID_INDEX = 4,      // an object index past the count
    ERR_WRONG_DATABASE = 5,     // the database holds no such section
    ERR_OPENING_FILE = 11,      // the file cannot be opened
    ERR_CLOSING_FILE = 12,      // the file cannot be closed
    ERR_READING_FILE = 13,      // reading failed
    ERR_CREATING_DATABASE = 14, // the database cannot be read from the file
    ERR_WRITING_FILE = 15,      // writing failed ("Out of disk space")
    ERR_CORRUPT_FILE = 16,      // "File is corrupted": a bad length, count or nesting
    ERR_LIMIT_EXCEEDED = 17,    // more than a 16- or 32-bit field of the file can hold
    ERR_STREAM_TOO_LONG = 18    // a stream holds more than the bound streams are read to
};

// One entry of the error stack.
struct errrec3ds
{
    long3ds id;        // an errorcode3ds
    char3ds desc[160]; // what failed, NUL-terminated
};

// The calling thread's flags below, each thread having its own; reached
// through a function, as errno is, so that every module sees the same one.
bool* Ftk3dsErrorFlag();
bool* Ftk3dsIgnoreErrorFlag();
// Set by every failing call; cleared by ClearErrList3ds and ResetToolkit3ds.
#define ftkerr3ds (*Ftk3dsErrorFlag())
// When set, callers go on after failures; the toolkit itself then goes on
// where it can (InitObjectMotion3ds and its kin keep filling other tracks).
#define ignoreftkerr3ds (*Ftk3dsIgnoreErrorFlag())

// Entries on the error stack, oldest first. The stack keeps the latest 64.
int GetErrCount3ds();
// Entry `index` (0 = oldest); null when out of range.
const errrec3ds* GetErrEntry3ds(int index);
// Empties the error stack and clears `ftkerr3ds`.
void ClearErrList3ds();
// Closes every file the toolkit has open on this thread, empties the error
// stack and clears both flags: a fresh start for the next read or write.
void ResetToolkit3ds();

// ---- Files ----

struct file3ds; // an open file of the toolkit

// Opens `name` in stdio mode `mode` ("rb" to read, "wb" to write) and returns
// its handle; null, with ERR_INVALID_ARG or ERR_OPENING_FILE pushed, when it
// cannot. A stream (a FIFO, a socket, a device) opened to be read only is
// read whole here (ReadStreamWhole, to StreamMostBytes() bytes, no further
// than its first two bytes when they cannot begin a 3DS file), and read from
// memory after; null then with ERR_STREAM_TOO_LONG when it holds more, with
// ERR_NO_MEM or ERR_READING_FILE when it cannot be held or read.
// errno tells why an open failed (ERR_OPENING_FILE).
file3ds* OpenFile3ds(const char* name, const char* mode);
// Copies at most size of the file's first bytes into buffer, its place left
// where it was; the count copied: fewer for a shorter file, 0 for an empty
// one, -1 (errno telling why) when they cannot be read.
long3ds ReadHead3ds(file3ds* file, void* buffer, ulong3ds size);
// Closes the file and frees the handle; nothing for null. Pushes
// ERR_CLOSING_FILE when closing fails (buffered data could not be written).
void CloseFile3ds(file3ds* file);
// Closes every file the toolkit has open on this thread.
void CloseAllFiles3ds();

// ---- Values ----

struct point3ds
{
    float3ds x, y, z;
};

struct fcolor3ds
{
    float3ds r, g, b;
};

struct textvert3ds
{
    float3ds u, v;
};

// Header of one key. `rflags` tells which of the five values are present.
enum keyflag3ds
{
    KeyUsesTension3ds = 1,
    KeyUsesCont3ds = 2,
    KeyUsesBias3ds = 4,
    KeyUsesEaseTo3ds = 8,
    KeyUsesEaseFrom3ds = 16
};

struct keyheader3ds
{
    ulong3ds time; // frame number
    ushort3ds rflags;
    float3ds tension, continuity, bias, easeto, easefrom;
};

// Rotation key: angle in radians about the axis (x, y, z).
struct kfrotkey3ds
{
    float3ds angle;
    float3ds x, y, z;
};

// Morph key: the name of the target object.
struct kfmorph3ds
{
    char3ds name[13];
};

// ---- Database ----

struct database3ds; // one file's chunk tree with its lists of objects and nodes

enum dbtype3ds
{
    MeshFile3ds = 1 // a 3DS scene file (main chunk 0x4D4D)
};

// Allocates *db when null and makes it empty. ERR_NO_MEM when allocation fails.
void InitDatabase3ds(database3ds** db);
// Reads the chunk header tree of an open file into `db`; chunk data is read
// later, on demand. ERR_INVALID_ARG for a null file or database;
// ERR_CORRUPT_FILE and ERR_CREATING_DATABASE when the file cannot be mapped
// or its chunk tree is damaged (the database is then left empty). Reads
// nothing unless the file was opened for reading.
void CreateDatabase3ds(file3ds* file, database3ds* db);
// A database made from a regular file reads it in place. Another program may
// cut the file short meanwhile: what was lost then reads as zeros, and this
// pushes ERR_CORRUPT_FILE when anything read so far was lost that way.
void CheckDatabaseImage3ds(database3ds* db);
// Makes `db` an empty database of `type` (MeshFile3ds). ERR_INVALID_ARG otherwise.
void CreateNewDatabase3ds(database3ds* db, long3ds type);
// Writes the whole database to the file in one pass. ERR_INVALID_ARG for a
// null file or database or a file not opened for writing; ERR_LIMIT_EXCEEDED
// when a chunk passes 4 GB (nothing is written then); ERR_WRITING_FILE when a
// write fails.
void WriteDatabase3ds(file3ds* file, database3ds* db);
// Releases the database and its chunk tree; clears *db.
void ReleaseDatabase3ds(database3ds** db);

// ---- Editor settings ----

struct meshset3ds
{
    float3ds masterscale;    // chunk 0x0100; 1.0
    long3ds shadowtype;      // kept in the record only, never written; 0
    float3ds lowshadowbias;  // chunk 0x1400; 1.0
    ushort3ds shadowmapsize; // chunk 0x1420; 512
    float3ds shadowfilter;   // chunk 0x1450; 3.0
    float3ds raytracebias;   // chunk 0x1460; 1.0
    point3ds consaxis;       // default construction axis, chunk 0x1500; (0, 0, 0)
    fcolor3ds ambientlight;  // chunk 0x2100; 0.39216 each
};

void InitMeshSet3ds(meshset3ds** settings);
// Fills the record (allocated with the defaults when null) from the file's
// editor section; fields whose chunk is absent keep their values.
void GetMeshSet3ds(database3ds* db, meshset3ds** settings);
// Replaces the editor settings of the database.
void PutMeshSet3ds(database3ds* db, meshset3ds* settings);
void ReleaseMeshSet3ds(meshset3ds** settings);

struct kfsets3ds
{
    ulong3ds animlength; // frames of the animation; 100
    ulong3ds curframe;   // current frame; 0
    ulong3ds segbegin;   // active segment; 0 .. animlength
    ulong3ds segend;
};

void InitKfSets3ds(kfsets3ds** settings);
// Replaces the keyframer header, segment and current frame of the database.
void PutKfSets3ds(database3ds* db, kfsets3ds* settings);
void ReleaseKfSets3ds(kfsets3ds** settings);

struct background3ds
{
    char3ds bitmap[13];                     // bitmap file name; empty for none
    fcolor3ds solid;                        // solid background colour; black
    float3ds gradpercent;                   // position of the middle gradient colour; 0.5
    fcolor3ds gradtop, gradmid, gradbottom; // black
};

void InitBackground3ds(background3ds** background);
// With an editor section: resets the record to the defaults and fills it.
// Without one: changes nothing.
void GetBackground3ds(database3ds* db, background3ds** background);
// Replaces the background of the database.
void PutBackground3ds(database3ds* db, background3ds* background);
void ReleaseBackground3ds(background3ds** background);

// ---- Meshes ----

struct face3ds
{
    ushort3ds v1, v2, v3; // vertex indices
    ushort3ds flag;
};

// Faces of a mesh that use one material.
struct objmat3ds
{
    char3ds name[17];
    ushort3ds nfaces;
    ushort3ds* faceindex;
};

struct mesh3ds
{
    char3ds name[11];
    ubyte3ds ishidden;    // 0x4010
    ubyte3ds isvislofter; // 0x4011
    ubyte3ds ismatte;     // 0x4013
    ubyte3ds isnocast;    // 0x4012
    ubyte3ds isfast;      // 0x4014
    ubyte3ds isnorcvshad; // 0x4017
    ubyte3ds isfrozen;    // 0x4016
    ushort3ds nvertices;
    point3ds* vertexarray;
    ushort3ds nvflags;
    ushort3ds* vflagarray;
    ushort3ds ntextverts;
    textvert3ds* textarray; // null when absent
    float3ds locmatrix[12]; // X, Y, Z axis rows, then the translation; identity
    ushort3ds nfaces;
    face3ds* facearray;
    ulong3ds* smootharray; // one mask per face; null when absent
    ushort3ds nmats;
    objmat3ds* matarray;
};

// Array selectors of InitMeshObj3ds and InitMeshObjField3ds.
enum meshfield3ds
{
    InitNoExtras3ds = 0,
    InitVertexArray3ds = 1,
    InitTextArray3ds = 2,
    InitFaceArray3ds = 4,
    InitMatArray3ds = 8,
    InitSmoothArray3ds = 16,
    InitVertexFlags3ds = 64,
    InitAllFields3ds = 0xFFFF
};

// Allocates *mesh when null (else frees its arrays), clears the fields (the
// matrix becomes the identity) and sizes the vertex and face arrays,
// zero-filled. `flags`: InitTextArray3ds adds as many texture vertices as
// vertices, InitVertexFlags3ds as many vertex flags, InitSmoothArray3ds one
// smoothing group per face.
void InitMeshObj3ds(mesh3ds** mesh, ushort3ds vertices, ushort3ds faces, ushort3ds flags);
// Sizes the arrays that `mask` selects from the counts in the record; an
// existing array keeps its contents, new entries are zero. A count of 0
// frees the array.
void InitMeshObjField3ds(mesh3ds* mesh, ushort3ds mask);
// Sizes the face index array of material-list entry `entry` and sets its
// face count. ERR_INVALID_ARG when the entry is not below `nmats`.
void InitMatArrayIndex3ds(mesh3ds* mesh, ushort3ds entry, ushort3ds faces);
// Stores the mesh as a named object of the editor section. Refused with
// ERR_INVALID_ARG for a null record or a missing array of a non-zero count,
// and with ERR_INVALID_DATA for a face naming a vertex past the vertex count
// or a material entry naming a face past the face count.
void PutMesh3ds(database3ds* db, mesh3ds* mesh);
void RelMeshObj3ds(mesh3ds** mesh);

// ---- Lights ----

struct spotprojector3ds
{
    ubyte3ds use; // the spot projects a bitmap (chunk 0x4653)
    char3ds bitmap[13];
};

struct spotlight3ds
{
    point3ds target;  // (1, 1, 1)
    float3ds hotspot; // degrees; 44.0
    float3ds falloff; // degrees; 45.0
    float3ds roll;    // degrees; 0
    spotprojector3ds projector;
};

struct light3ds
{
    char3ds name[11];
    point3ds pos;
    fcolor3ds color;     // 0.708 grey
    float3ds multiplier; // 1.0
    spotlight3ds* spot;  // null for a point light
};

void InitLight3ds(light3ds** light);
void InitSpotlight3ds(light3ds** light);
void PutOmnilight3ds(database3ds* db, light3ds* light);
void PutSpotlight3ds(database3ds* db, light3ds* light);
void ReleaseLight3ds(light3ds** light);

// ---- Cameras ----

struct camera3ds
{
    char3ds name[11];
    point3ds position;  // (0, 0, 0)
    point3ds target;    // (1, 1, 1)
    float3ds roll;      // 0
    float3ds fov;       // degrees, 2400 / the file's lens; 45.0
    float3ds nearplane; // 10.0
    float3ds farplane;  // 1000.0
};

void InitCamera3ds(camera3ds** camera);
void PutCamera3ds(database3ds* db, camera3ds* camera);
void ReleaseCamera3ds(camera3ds** camera);

// ---- Materials ----

enum tiletype3ds
{
    Tile3ds = 1,
    Decal3ds = 2,
    Both3ds = 3
};

// A texture map of a material. Scales of 1, offsets of 0 and a rotation of 0
// are not written.
struct bitmap3ds
{
    // File name; empty when the map is absent. Read whole: tools write
    // names longer than DOS's 8.3 (lib3ds up to 63 bytes), and a name cut
    // short names another file or none. A longer name than this holds is
    // refused as damage.
    char3ds name[256];
    float3ds percent; // strength 0..1
    ushort3ds tiling; // tiletype3ds
    float3ds uscale, vscale;
    float3ds uoffset, voffset;
    float3ds rotation; // degrees
};

struct material3ds
{
    char3ds name[17];
    fcolor3ds ambient, diffuse, specular; // black
    float3ds shininess;                   // fractions 0..1, stored as percentages
    float3ds shinstrength;
    float3ds transparency;
    float3ds selfillumpct;
    float3ds wiresize; // 1.0
    ushort3ds shading; // 3
    ubyte3ds twosided;
    bitmap3ds texture;
    bitmap3ds texture2;
};

void InitMaterial3ds(material3ds** material);
// Stores the material; an entry of the same name is replaced.
void PutMaterial3ds(database3ds* db, material3ds* material);
void ReleaseMaterial3ds(material3ds** material);

// ---- Editor objects by index ----

ulong3ds GetMeshCount3ds(database3ds* db);
ulong3ds GetOmnilightCount3ds(database3ds* db);
ulong3ds GetSpotlightCount3ds(database3ds* db);
ulong3ds GetCameraCount3ds(database3ds* db);
ulong3ds GetMaterialCount3ds(database3ds* db);

// Allocate the record when the pointer is null (else refill it) and fill it
// from the object of that index. ERR_INVALID_INDEX past the count,
// ERR_CORRUPT_FILE for damaged data.
void GetMeshByIndex3ds(database3ds* db, ulong3ds index, mesh3ds** mesh);
void GetOmnilightByIndex3ds(database3ds* db, ulong3ds index, light3ds** light);
void GetSpotlightByIndex3ds(database3ds* db, ulong3ds index, light3ds** light);
void GetCameraByIndex3ds(database3ds* db, ulong3ds index, camera3ds** camera);
void GetMaterialByIndex3ds(database3ds* db, ulong3ds index, material3ds** material);

// ---- Keyframer ----

// A parent name is an object name, or an object name, "." and an instance
// name ("$$$DUMMY.Grp1" names the dummy whose instance name is Grp1). Empty
// for none.

struct objectmotion3ds
{
    char3ds name[11];
    char3ds parent[22];
    ushort3ds flags1, flags2;
    point3ds pivot;
    char3ds instance[11];
    point3ds bboxmin, bboxmax;
    ulong3ds npkeys;
    ushort3ds npflag;
    keyheader3ds* pkeys;
    point3ds* pos;
    ulong3ds nrkeys;
    ushort3ds nrflag;
    keyheader3ds* rkeys;
    kfrotkey3ds* rot;
    ulong3ds nskeys;
    ushort3ds nsflag;
    keyheader3ds* skeys;
    point3ds* scale;
    ulong3ds nmkeys;
    ushort3ds nmflag;
    keyheader3ds* mkeys;
    kfmorph3ds* morph;
    ulong3ds nhkeys;
    ushort3ds nhflag;
    keyheader3ds* hkeys;
    float3ds msangle; // morph smoothing angle; 24.0
};

struct omnimotion3ds
{
    char3ds name[11];
    char3ds parent[22];
    ushort3ds flags1, flags2;
    ulong3ds npkeys;
    ushort3ds npflag;
    keyheader3ds* pkeys;
    point3ds* pos;
    ulong3ds nckeys;
    ushort3ds ncflag;
    keyheader3ds* ckeys;
    fcolor3ds* color;
};

struct spotmotion3ds
{
    char3ds name[11];
    char3ds parent[22];
    ushort3ds flags1, flags2;
    ulong3ds npkeys;
    ushort3ds npflag;
    keyheader3ds* pkeys;
    point3ds* pos;
    ulong3ds nckeys;
    ushort3ds ncflag;
    keyheader3ds* ckeys;
    fcolor3ds* color;
    ulong3ds nhkeys; // hotspot, track tag 0xB027
    ushort3ds nhflag;
    keyheader3ds* hkeys;
    float3ds* hot;
    ulong3ds nfkeys; // falloff, track tag 0xB028
    ushort3ds nfflag;
    keyheader3ds* fkeys;
    float3ds* fall;
    ulong3ds nrkeys;
    ushort3ds nrflag;
    keyheader3ds* rkeys;
    float3ds* roll;
    char3ds tparent[22];
    ulong3ds ntkeys;
    ushort3ds ntflag;
    keyheader3ds* tkeys;
    point3ds* tpos;
    ushort3ds tflags1, tflags2;
};

struct cameramotion3ds
{
    char3ds name[11];
    char3ds parent[22];
    ushort3ds flags1, flags2;
    ulong3ds npkeys;
    ushort3ds npflag;
    keyheader3ds* pkeys;
    point3ds* pos;
    ulong3ds nfkeys; // field of view, track tag 0xB023
    ushort3ds nfflag;
    keyheader3ds* fkeys;
    float3ds* fov;
    ulong3ds nrkeys;
    ushort3ds nrflag;
    keyheader3ds* rkeys;
    float3ds* roll;
    char3ds tparent[22];
    ulong3ds ntkeys;
    ushort3ds ntflag;
    keyheader3ds* tkeys;
    point3ds* tpos;
    ushort3ds tflags1, tflags2;
};

// When *motion is null, allocates a record with empty names, zero flags,
// pivot and bounding box (and a smoothing angle of 24). Then, for each count
// that is not 0, frees that track's arrays and allocates that many zeroed key
// headers and values (rotations 0 about (0, 0, 1), scales (1, 1, 1)).
// ERR_NO_MEM on an allocation failure.
void InitObjectMotion3ds(objectmotion3ds** motion, ulong3ds npkeys, ulong3ds nrkeys, ulong3ds nskeys, ulong3ds nmkeys,
                         ulong3ds nhkeys);
void InitOmnilightMotion3ds(omnimotion3ds** motion, ulong3ds npkeys, ulong3ds nckeys);
void InitSpotlightMotion3ds(spotmotion3ds** motion, ulong3ds npkeys, ulong3ds nckeys, ulong3ds nhkeys, ulong3ds nfkeys,
                            ulong3ds nrkeys, ulong3ds ntkeys);
void InitCameraMotion3ds(cameramotion3ds** motion, ulong3ds npkeys, ulong3ds nfkeys, ulong3ds nrkeys, ulong3ds ntkeys);

ulong3ds GetObjectNodeCount3ds(database3ds* db);
ulong3ds GetOmnilightNodeCount3ds(database3ds* db);
ulong3ds GetSpotlightNodeCount3ds(database3ds* db);
ulong3ds GetCameraNodeCount3ds(database3ds* db);

// Fill the motion of that index (allocated when null). The parent is given as
// the parent node's name, with "." and its instance name when it has one.
void GetObjectMotionByIndex3ds(database3ds* db, ulong3ds index, objectmotion3ds** motion);
void GetOmnilightMotionByIndex3ds(database3ds* db, ulong3ds index, omnimotion3ds** motion);
void GetSpotlightMotionByIndex3ds(database3ds* db, ulong3ds index, spotmotion3ds** motion);
void GetCameraMotionByIndex3ds(database3ds* db, ulong3ds index, cameramotion3ds** motion);

// Store the node in the keyframer section. Parent names are resolved to node
// ids when the database is written (65535 when none matches). A spot light
// or camera also gets a target node of the same name under `tparent`.
// ERR_LIMIT_EXCEEDED past 65535 nodes.
void PutObjectMotion3ds(database3ds* db, objectmotion3ds* motion);
void PutOmnilightMotion3ds(database3ds* db, omnimotion3ds* motion);
void PutSpotlightMotion3ds(database3ds* db, spotmotion3ds* motion);
void PutCameraMotion3ds(database3ds* db, cameramotion3ds* motion);

void ReleaseObjectMotion3ds(objectmotion3ds** motion);
void ReleaseOmnilightMotion3ds(omnimotion3ds** motion);
void ReleaseSpotlightMotion3ds(spotmotion3ds** motion);
void ReleaseCameraMotion3ds(cameramotion3ds** motion);

#endif // QOX_FORMATS_FTK3DS_FTK3DS_H
