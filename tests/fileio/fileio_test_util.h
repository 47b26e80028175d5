#ifndef QOX_TESTS_FILEIO_FILEIO_TEST_UTIL_H
#define QOX_TESTS_FILEIO_FILEIO_TEST_UTIL_H

// Scenes for the native file tests: one holding every object kind the file
// carries, and a listing of everything a scene holds (every object, property,
// key and connection) so two scenes compare as two texts.

#include <string>

namespace qoxsdk_600 {
class KQoxScene;
class KQoxSdkManager;
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
// character pose's scene.
void AddEveryKind(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, bool automaticKeys);

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

// Exports scene to the file name in format (an exporter file-format id),
// expecting success; whether it succeeded.
bool Export(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& name, int format);
// Imports the file name into scene, expecting success; whether it succeeded.
bool Import(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const std::string& name);

} // namespace fileiotest

#endif
