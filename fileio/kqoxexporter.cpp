#include "fileio/kqoxexporter.h"

#include <memory>
#include <new>

#include "fileio/kqoxioregistry.h"
#include "scene/kqoxsdkmanager.h"
#include "fileio/writers/kqoxwriterqox6.h"

namespace qoxsdk_600 {

namespace {

KQoxExporter* Allocate(KQoxSdkManager& pManager)
{
    return new KQoxExporter(pManager);
}

void Destroy(KQoxExporter* pObject)
{
    delete pObject;
}

// The SDK manager (in the scene library below this one) makes and deletes
// exporters through these; installed as soon as the program holding this
// file starts.
struct FrontInstaller
{
    FrontInstaller() { KQoxSdkManager::SetExporterFunctions(&Allocate, &Destroy); }
};
const FrontInstaller sFrontInstaller;

} // namespace

KQoxExporter::KQoxExporter(KQoxSdkManager& manager)
    : KQoxIO(manager)
{}

KQoxExporter::~KQoxExporter() {}

bool KQoxExporter::Initialize(const char* fileName)
{
    mMessage = "";
    const bool named = KQoxIO::Initialize(fileName);
    // A name there was no memory to keep is not a missing one.
    if (!mFileName.IsOK())
        return OutOfMemory();
    return named;
}

bool KQoxExporter::OutOfMemory()
{
    mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
    return false;
}

bool KQoxExporter::SetFileFormat(int format)
{
    if (format < 0 || format >= eEXPORT_FORMAT_COUNT)
    {
        mError.SetLastErrorID(eINVALID_FILE_FORMAT);
        return false;
    }
    mFileFormat = format;
    return true;
}

KStreamOptions* KQoxExporter::GetExportOptions()
{
    try
    {
        std::unique_ptr<KQoxWriter> writer(KQoxIORegistry::CreateWriter(mFileFormat, mManager));
        if (!writer)
        {
            mError.SetLastErrorID(eINVALID_FILE_FORMAT);
            return nullptr;
        }
        return writer->GetWriteOptions();
    }
    catch (const std::bad_alloc&)
    {
        OutOfMemory();
        return nullptr;
    }
}

// The writer's error as the exporter's.
void KQoxExporter::TakeWriterError(KQoxWriter& writer)
{
    switch (writer.GetLastErrorID())
    {
    case KQoxWriter::eFILE_CORRUPTED: mError.SetLastErrorID(eFILE_CORRUPTED); break;
    case KQoxWriter::eFILE_NOT_OPENED: mError.SetLastErrorID(eFILE_NOT_OPENED); break;
    // With the cause the writer names ("File not created: the file is read-only").
    case KQoxWriter::eFILE_NOT_CREATED: mError.SetLastError(eFILE_NOT_CREATED, writer.GetLastErrorString()); break;
    case KQoxWriter::eOUT_OF_DISK_SPACE: mError.SetLastErrorID(eOUT_OF_DISK_SPACE); break;
    case KQoxWriter::eSTREAM_OPTIONS_NOT_SET: mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET); break;
    // With the writer's own text (such as "Out of memory").
    case KQoxWriter::eUNIDENTIFIED_ERROR: mError.SetLastError(eUNIDENTIFIED_ERROR, writer.GetLastErrorString()); break;
    default: mError.SetLastErrorID(eUNIDENTIFIED_ERROR); break;
    }
}

bool KQoxExporter::Export(KQoxScene& scene, KStreamOptions* options)
{
    // Whatever runs out of memory outside the writer's own steps (making the
    // writer, say) fails the export the same way; the writer, destroyed on
    // the way out, leaves the old files as they were.
    try
    {
        return ExportScene(scene, options);
    }
    catch (const std::bad_alloc&)
    {
        return OutOfMemory();
    }
}

bool KQoxExporter::ExportScene(KQoxScene& scene, KStreamOptions* options)
{
    mMessage = "";
    if (mFileName.IsEmpty())
    {
        mError.SetLastErrorID(eUNINITIALIZED_FILENAME);
        return false;
    }
    std::unique_ptr<KQoxWriter> writer(KQoxIORegistry::CreateWriter(mFileFormat, mManager));
    if (!writer)
    {
        mError.SetLastErrorID(eINVALID_FILE_FORMAT);
        return false;
    }
    KQoxWriterQox6* native = dynamic_cast<KQoxWriterQox6*>(writer.get());
    if (!options)
    {
        if (!native)
        {
            mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
            return false;
        }
        options = &mOptions;
    }
    if (native)
    {
        const KStreamOptionsQox* qoxOptions = dynamic_cast<const KStreamOptionsQox*>(options);
        native->SetPassword(qoxOptions ? qoxOptions->GetPassword() : mOptions.GetPassword());
    }
    if (!writer->FileCreate(mFileName.ToChars()))
    {
        // The cause or "Out of memory" kept; any other failure to create is
        // the exporter's eFILE_NOT_CREATED.
        const int error = writer->GetLastErrorID();
        if (error == KQoxWriter::eFILE_NOT_CREATED || error == KQoxWriter::eUNIDENTIFIED_ERROR)
            TakeWriterError(*writer);
        else
            mError.SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    bool ok = writer->Write(scene, options);
    // Handed over, not copied: a copy could lose the message for want of
    // memory. One that lost a line while the writer made it fails the
    // export before the files are put in place.
    writer->TakeMessage(mMessage);
    if (!mMessage.IsOK())
    {
        mMessage = "";
        return OutOfMemory(); // the writer's destructor drops the partial files
    }
    if (!ok)
    {
        TakeWriterError(*writer);
        return false; // the writer's destructor drops the partial file
    }
    if (!writer->FileClose())
    {
        TakeWriterError(*writer);
        return false;
    }
    return true;
}

} // namespace qoxsdk_600
