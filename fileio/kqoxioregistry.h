#ifndef QOX_FILEIO_KQOXIOREGISTRY_H
#define QOX_FILEIO_KQOXIOREGISTRY_H

// The file-format registry: which reader reads an importer's format id and
// which writer writes an exporter's, with the description and extension of
// each. The native formats are registered on first use; the foreign format
// libraries add theirs with RegisterReader / RegisterWriter.

namespace qoxsdk_600 {

class KQoxReader;
class KQoxSdkManager;
class KQoxWriter;

typedef KQoxReader* (*KQoxReaderFactory)(KQoxSdkManager& manager);
typedef KQoxWriter* (*KQoxWriterFactory)(KQoxSdkManager& manager);

// Importer format ids.
enum EImportFileFormat
{
    eIMPORT_QOX_ASCII = 0,
    eIMPORT_QOX_BINARY = 1,
    eIMPORT_QOX_ENCRYPTED = 2,
    eIMPORT_BVH = 3,
    eIMPORT_HTR = 4,
    eIMPORT_TRC = 5,
    eIMPORT_ASF = 6,
    eIMPORT_AMC = 7,
    eIMPORT_C3D = 8,
    eIMPORT_AOA = 9,
    eIMPORT_MCD = 10,
    eIMPORT_VPM = 11,
    eIMPORT_MOV = 12,
    eIMPORT_BRD = 13,
    eIMPORT_DXF = 14,
    eIMPORT_3DS = 15,
    eIMPORT_OBJ = 16,
    eIMPORT_FORMAT_COUNT = 17
};

// Exporter format ids.
enum EExportFileFormat
{
    eEXPORT_QOX_BINARY = 0,
    eEXPORT_QOX_ASCII = 1,
    eEXPORT_QOX_ENCRYPTED = 2,
    eEXPORT_QOX5_BINARY = 3,
    eEXPORT_QOX5_ASCII = 4,
    eEXPORT_BVH = 5,
    eEXPORT_HTR = 6,
    eEXPORT_TRC = 7,
    eEXPORT_ASF = 8,
    eEXPORT_AMC = 9,
    eEXPORT_C3D = 10,
    eEXPORT_AOA = 11,
    eEXPORT_MCD = 12,
    eEXPORT_VPM = 13,
    eEXPORT_MOV = 14,
    eEXPORT_BRD = 15,
    eEXPORT_DXF = 16,
    eEXPORT_3DS = 17,
    eEXPORT_OBJ = 18,
    eEXPORT_FORMAT_COUNT = 19
};

class KQoxIORegistry
{
public:
    // Replaces what was registered for the id; false for an id out of range.
    static bool RegisterReader(int format, KQoxReaderFactory factory, const char* description, const char* extension);
    static bool RegisterWriter(int format, KQoxWriterFactory factory, const char* description, const char* extension);
    // A new reader or writer for the id, owned by the caller; null when none
    // is registered.
    static KQoxReader* CreateReader(int format, KQoxSdkManager& manager);
    static KQoxWriter* CreateWriter(int format, KQoxSdkManager& manager);
    // "" for an id with nothing registered.
    static const char* GetReaderDescription(int format);
    static const char* GetWriterDescription(int format);
    // The importer format registered for a file's extension (compared
    // without regard to case); -1 when none.
    static int FindReaderByExtension(const char* fileName);
};

} // namespace qoxsdk_600

#endif
