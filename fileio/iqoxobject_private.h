#ifndef QOX_FILEIO_IQOXOBJECT_PRIVATE_H
#define QOX_FILEIO_IQOXOBJECT_PRIVATE_H

// Inner switches of IQoxObject. Not part of the library's interface.

namespace qoxsdk_600 {
namespace iqoxobject {

// The rows of a binary "Properties" list are taken from their values
// decoded at once (KQox::FieldPeekValues) when they are usual ones; tests
// turn it off to compare with the value-by-value reads.
extern bool gRowsAtOnce;

} // namespace iqoxobject
} // namespace qoxsdk_600

#endif
