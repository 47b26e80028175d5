#ifndef QOX_FORMATS_KQOXGEOMETRYFORMATS_H
#define QOX_FORMATS_KQOXGEOMETRYFORMATS_H

// Registers the geometry formats with the importer and exporter: OBJ is
// read under importer id 16 ("Dunel OBJ (*.obj)") and written under
// exporter id 18; DXF is read under importer id 14 and
// written under exporter id 16; 3DS is read under importer id 15 and
// written under exporter id 17 ("3D Studio 3DS (*.3ds)"). Call once before importing or exporting these formats;
// calling again does no harm.

namespace qoxsdk_600 {

void KQoxRegisterGeometryFormats();

} // namespace qoxsdk_600

#endif
