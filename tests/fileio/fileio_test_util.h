#ifndef QOX_TESTS_FILEIO_FILEIO_TEST_UTIL_H
#define QOX_TESTS_FILEIO_FILEIO_TEST_UTIL_H

// Scenes for the native file tests: one holding every object kind the file
// carries, and a listing of everything a scene holds (every object, property,
// key and connection) so two scenes compare as two texts.

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

class KFCurve;
class KString;

namespace qoxsdk_600 {
class KQoxScene;
class KQoxSdkManager;
struct ImageConverterBuffer;
} // namespace qoxsdk_600

namespace fileiotest {

// Fills scene with nodes three levels deep (properties, pivots, limits,
// shading, culling, user properties of every type), two takes of animation
// on nodes and textures, a texture, a video clip naming mediaFile (may be
// empty), scene information with a thumbnail, global settings and take
// descriptions with a thumbnail.
void BuildScene(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& mediaFile);

// Adds to what BuildScene made: a node "Keys" whose translation X holds a
// key of every interpolation and tangent kind (constant, constant next,
// linear, TCB, user, break, weighted; with automatic kinds too unless
// version 5 is meant, which stores those as slopes) in the takes "Walk" and
// "Run", a character "Hero" with solver settings away from their defaults,
// a node with pivots and every limit kind set, and look-at and up-vector
// targets on the camera, the spot light, the node "Head" and a node of the
// character pose's scene; user properties with values on the character and
// its control-set plug, the node "Lamp" hidden, and a texture layer on the
// mesh using a texture of its own and then the scene's "Skin".
void AddEveryKind(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, bool automaticKeys);

// What reading the file name (written from a BuildScene scene with a media
// file "skin.raw") gives the texture "Skin", whose own file does not exist:
// the names of the media extracted, set on scene's texture.
void NameExtractedSkin(qoxsdk_600::KQoxScene& scene, const std::string& name);

// Every node with its depth, targets, properties, user properties, state and
// take curves; every texture, video, take description and setting.
// Numbers are listed with digits significant digits (ASCII files keep 15).
std::string ListScene(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, int digits = 17);

// Bakes the time warps of every take of the scene's objects (poses' scenes
// included) into their channels, as the native reader does with what it
// reads: the scene written then matches the scene read.
void MergeTimeWarps(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene);

// The manager's object counts by kind, as one text ("nodes 3 attributes 2 ...").
std::string ManagerCounts(qoxsdk_600::KQoxSdkManager& manager);

// Exports scene to the file name in format (an exporter file-format id;
// password for an encrypted one), expecting success; whether it succeeded.
bool Export(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& name, int format,
            const char* password = nullptr);
// Imports the file name into scene, expecting success; whether it succeeded.
bool Import(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& name);

// An image converter of binary PPM images (P6, depth 255): mode 0 loads the
// file into the buffer, mode 1 writes the buffer's three bytes per pixel as
// one. 0 on success.
int PpmConverter(int mode, KString& fileName, qoxsdk_600::ImageConverterBuffer& buffer);

// value with digits significant digits ("%.*g").
std::string Number(double value, int digits = 17);

// Every key of curve: " [time value fflags data0 data1 data2 data3]" each.
void ListKeys(std::ostream& out, KFCurve& curve, int digits = 17);

// Text blocks of an ASCII file, as [begin, end) offsets.
using Block = std::pair<size_t, size_t>;

// The block that begins with head at or after from, its braces matched no
// further than limit; {npos, npos} when head is absent.
Block BlockAt(const std::string& text, size_t from, const std::string& head, size_t limit = std::string::npos);

// Puts the text of each of two blocks, first before second, where the other
// stood.
void SwapBlocks(std::string& text, Block first, Block second);

// Replaces the first from in block by to; false when absent.
bool ReplaceIn(std::string& text, Block block, const std::string& from, const std::string& to);

// What importing a file gives: whether it was read, the importer's error,
// the scene listed and the file written again from it.
struct ReadOutcome
{
    bool mRead = false;
    int mErrorID = -1;
    std::string mError;
    std::string mListing;
    std::string mWritten;
};

// Imports name into scene, keeping in out whether it was read and the
// importer's last error.
void ImportReporting(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& name,
                     ReadOutcome& out);

// Expects every field of the two outcomes equal.
void ExpectSameOutcome(const ReadOutcome& expected, const ReadOutcome& actual);

// An edit of a file's text; false when it found nothing to edit.
struct TextEdit
{
    const char* mName;
    bool (*mEdit)(std::string& text);
};

// The edit that leaves the text as it is.
bool Unchanged(std::string& text);

// Each of the count edits applied to a copy of text, written to the file
// edited, then check(index of the edit) run; stops at the first fatal
// failure.
void ForEachEdit(const std::string& text, const TextEdit* edits, size_t count, const std::string& edited,
                 const std::function<void(size_t)>& check);

// Damages bytes at each offset in [begin, end) three ways (kind 0: the byte
// flipped, 1: the byte raised by one, 2: the bytes cut there) where
// tried(at, kind) allows, writes each to the file damaged, then runs
// check(); stops at the first fatal failure.
void ForEachDamage(const std::string& bytes, size_t begin, size_t end, const std::string& damaged,
                   const std::function<bool(size_t at, int kind)>& tried, const std::function<void()>& check);

// A native file's records as a tree, read and written again through the
// field layer: files of any form edited record by record (a record left
// out or doubled), encrypted ones included.
struct FieldValue
{
    char mType = 'S';                 // the value's type code
    long long mInt = 0;               // 'C', 'I', 'L'
    double mDouble = 0;               // 'F', 'D'
    std::string mBytes;               // 'S', 'R'
    std::vector<long long> mIntegers; // 'b', 'i', 'l'
    std::vector<double> mReals;       // 'f', 'd'
};
struct FieldRecord
{
    std::string mName;
    bool mSection = false;
    int mVersion = 0; // a section's
    std::vector<FieldValue> mValues;
    bool mBlock = false;
    std::vector<FieldRecord> mRecords; // its block's (a section's list)
};
struct FieldFile
{
    int mForm = 0; // KQox::EForm
    int mVersion = 0;
    std::vector<FieldRecord> mRecords;
};
// Reads name whole (password for an encrypted file); false on a failure.
bool ReadFieldFile(const std::string& name, const char* password, FieldFile& out);
// Writes file to name in its form and version.
bool WriteFieldFile(const std::string& name, const char* password, const FieldFile& file);
// Each field record (sections not counted) in file order, parents before
// their blocks, with the names of the records it lies in ("Animation/Model/
// Channel"); visit returns how many times it stands in an edited copy.
using RecordEdit = std::function<int(const FieldRecord& record, const std::string& path, int index)>;
// The records of list, each kept the times edit gives; index counts the
// field records visited.
std::vector<FieldRecord> EditRecords(const std::vector<FieldRecord>& list, const RecordEdit& edit);

// Binary files by hand. A record: kind, name length (2), name, value count
// (4), value bytes (8), block bytes (8), then the values and the block.
const size_t kHead = 23;
// The n bytes at at, little-endian.
unsigned long long LE(const std::string& bytes, size_t at, int n);
// Where the record at at ends (past its block).
size_t RecordEnd(const std::string& bytes, size_t at);
// The offsets of the records of the "Objects" section's list, then of its
// end marker.
std::vector<size_t> ObjectBoundaries(const std::string& bytes);
// A new check value over the bytes of a binary file.
void Reseal(std::string& bytes);

} // namespace fileiotest

#endif
