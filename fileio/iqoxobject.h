#ifndef QOX_FILEIO_IQOXOBJECT_H
#define QOX_FILEIO_IQOXOBJECT_H

// IQoxObject: the file stream object of the native readers and writers, over
// the field file. It adds
// - safe creation: a file on disk is written under a temporary name in the
//   target's directory and renamed over the target only when it is complete;
//   a failed or abandoned file leaves the target as it was and no temporary
//   (base/kstagedfiles.h; a device or FIFO is written in place);
// - property lists: the properties of an object written as "Property"
//   fields, and read back into the object's properties of the same names.
//   Properties carrying their own flag 16 are neither written nor read.

#include "base/kqox.h"
#include "base/kstagedfiles.h"
#include "base/kstring.h"

class KObject;
class KProperty;

namespace qoxsdk_600 {

class IQoxObject : public KQox
{
public:
    enum
    {
        eNOT_IN_FILE = 16 // own property flag: the property stays out of files
    };

    IQoxObject();
    ~IQoxObject() override;

    // Creates the file under a temporary name (see KStagedFiles). Fails with
    // eFILE_NOT_CREATED, its text naming the cause when one is known ("File
    // not created: the file is read-only").
    bool ProjectCreateSafe(const char* fileName, EForm form, int version, const char* password);
    // Completes the file and, for a file made by ProjectCreateSafe, moves it
    // to its name. False with eNO_SPACE_LEFT (write failed, or no room for
    // a file rewritten in place) or eFILE_NOT_CREATED (the move failed, the
    // text naming a known cause); the temporary is removed then.
    bool ProjectCloseSafe();
    // Drops a file being written: the temporary is removed, the target kept.
    void ProjectAbandon();

    // "Properties" field whose block holds one "Property" field per written
    // property of the object, in the object's order: name, type name, flags
    // text ("A" animatable, "U" user; "" none), then the value. A value's
    // text lost for want of memory throws std::bad_alloc.
    bool FieldWritePropertiesList(KObject& object);
    // One "Property" field; false when the property's kind has no value that
    // files keep (objects, events, actions, references): nothing written.
    // Throws as FieldWritePropertiesList.
    bool FieldWriteProperty(KProperty& property);
    // Reads the "Properties" block into the object's properties of the same
    // names and kinds; unknown names and kinds are passed over.
    bool FieldReadPropertiesList(KObject& object);
    // The value of an open "Property" field (after its three texts) into the property.
    void FieldReadPropertyValue(KProperty& property);

private:
    // The two above for a property reached by its place in its object's
    // list or directly (the .cpp's adaptor for both).
    template <class Property>
    bool WriteProperty(Property& property);
    template <class Property>
    void ReadPropertyValue(Property& property);
    // The same into a value in place (KObject::DeferredValueAt) of a plain kind.
    void ReadValueInPlace(int type, void* value);
    // A row of a binary list (an open "Property" field) from its values
    // decoded at once, as the value-by-value reads would take it; next is
    // FieldReadPropertiesList's in-order search place. False, nothing
    // stored, for a row those reads are to take (unusual values, a row out
    // of order, a text kind, a property made).
    bool ReadRowAtOnce(KObject& object, int& next);
    // Records mStaged's last failure as this file's error; false.
    bool StagedFailed(bool committing);

    KStagedFiles mStaged; // a file written under a temporary name, until moved
};

} // namespace qoxsdk_600

#endif
