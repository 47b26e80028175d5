#ifndef QOX_PLUGIN_IMPORT_QOXZELTIMPORT_PRIVATE_H
#define QOX_PLUGIN_IMPORT_QOXZELTIMPORT_PRIVATE_H

// Constants and small helpers shared by the passes of the import.

#include "base/kstring.h"
#include "host/zbase.h"
#include "host/zdag.h"

namespace qoxsdk_600 {
class KQoxNode;
}
class QoxLogFile;
class QoxZeltNode;
class ZFnDagNode;

namespace qoxzeltimport {

// Attribute type codes of the scene's node attributes.
enum EAttributeType
{
    eNULL_ATTRIBUTE = 1,
    eMARKER = 2,
    eSKELETON = 3,
    eMESH = 4,
    eNURBS = 5,
    ePATCH = 6,
    eCAMERA = 7,
    eCAMERA_SWITCHER = 8,
    eLIGHT = 9,
    eOPTICAL_REFERENCE = 10
};

// Import modes (QoxZeltUserParams::GetImportType).
enum EImportMode
{
    eEXCLUSIVE_MERGE = 0,
    eMERGE = 1,
    eADD = 2
};

const double kDegToRad = 0.017453292519943295;
const double kRadToDeg = 57.29577951308232;

const char kLogFileName[] = "qoxzeltlog.txt";
const char kProgressWindow[] = "QOXIMPORTWINDOW";
const char kErrorTitle[] = "QOX import Error";
// The cause named for a file that is no native scene file.
const char kNativeFilesOnly[] = "the plug-in reads native scene files only";
const char kWarningTitle[] = "QOX import Warning";

// The attribute type of the node, 0 when it has none (or for null).
int AttributeType(qoxsdk_600::KQoxNode* node);
// The node's name without its namespace prefix ("Model::").
KString ShortName(qoxsdk_600::KQoxNode* node);
// The node's parent as a plug-in node (every node of an import is one).
QoxZeltNode* ParentOf(qoxsdk_600::KQoxNode* node);
// The host node the parent stands for, or the null object (the top of the
// DAG) when the node has no parent or the parent has no host path.
ZObject HostParentObject(qoxsdk_600::KQoxNode* node);
// The host DAG node fn has just made takes the node's short name, and the
// node records the host path.
void NameAndRecordHostNode(ZFnDagNode& fn, QoxZeltNode* node);
// kImportShowUI.
bool ShowUI();
// A confirm dialog with one button "Ok", when kImportShowUI is true.
void ImportDialog(const char* title, const KString& message);
// Adds the text to the log as one line, its control characters shown
// escaped (nothing without a log).
void LogLine(QoxLogFile* log, const char* text);

// The factors that make a camera's roll curve (degrees) the host twist: the
// curve's value divisor and slope factor, and the static value's factor.
struct TwistFactors
{
    double mValueDivisor;
    double mSlopeFactor;
    double mStaticFactor;
};
TwistFactors TwistFactorsFor(int internalAngleUnit);

} // namespace qoxzeltimport

#endif
