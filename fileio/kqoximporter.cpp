#include "fileio/kqoximporter.h"

#include <new>

#include "fileio/kqoxioregistry.h"
#include "scene/kqoxsdkmanager.h"
#include "fileio/kqoxreaderqox.h"

namespace qoxsdk_600 {

namespace {

const char kOutOfMemoryText[] = "Out of memory";

KQoxImporter* Allocate(KQoxSdkManager& pManager)
{
    return new KQoxImporter(pManager);
}

void Destroy(KQoxImporter* pObject)
{
    delete pObject;
}

// The SDK manager (in the scene library below this one) makes and deletes
// importers through these; installed as soon as the program holding this
// file starts.
struct FrontInstaller
{
    FrontInstaller() { KQoxSdkManager::SetImporterFunctions(&Allocate, &Destroy); }
};
const FrontInstaller sFrontInstaller;

} // namespace

KQoxImporter::KQoxImporter(KQoxSdkManager& manager)
    : KQoxIO(manager)
{}

KQoxImporter::~KQoxImporter()
{
    FileClose();
}

void KQoxImporter::FileClose()
{
    if (mReader)
        mReader->FileClose();
    mReader.reset();
}

// The reader's error as the importer's: the first four ids agree (with the
// reader's text, which may name the cause), a wrong password keeps its
// meaning, anything else is unidentified (with the reader's own text for its
// unidentified error, such as "Out of memory").
void KQoxImporter::TakeReaderError()
{
    int code = mReader ? mReader->GetLastErrorID() : KQoxReader::eUNIDENTIFIED_ERROR;
    if (code >= KQoxReader::eFILE_CORRUPTED && code <= KQoxReader::eFILE_NOT_OPENED)
        mError.SetLastError(code, mReader->GetLastErrorString());
    else if (code == KQoxReader::eWRONG_PASSWORD)
        mError.SetLastErrorID(eWRONG_PASSWORD);
    else if (code == KQoxReader::eSTREAM_OPTIONS_NOT_SET)
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
    else if (code == KQoxReader::eUNIDENTIFIED_ERROR && mReader)
        mError.SetLastError(eUNIDENTIFIED_ERROR, mReader->GetLastErrorString());
    else
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
}

bool KQoxImporter::Initialize(const char* fileName)
{
    FileClose();
    ForgetFile();
    if (!KQoxIO::Initialize(fileName))
    {
        // A name given but not kept: its copy found no memory.
        if (fileName && *fileName && !mFileName.IsOK())
            return FailOutOfMemory();
        return false;
    }
    return FileOpen();
}

bool KQoxImporter::FailOutOfMemory()
{
    FileClose();
    ForgetFile();
    mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
    return false;
}

void KQoxImporter::ForgetFile()
{
    mTakes.clear();
    mSelected.clear();
    mCurrentTake = "";
    mVersion = 0;
    mMessage = "";
}

bool KQoxImporter::FileOpen()
{
    // The reader reports its own lack of memory; what the importer makes
    // around it (the reader, the copies of the take list) fails the same way.
    try
    {
        return OpenWithReader();
    }
    catch (const std::bad_alloc&)
    {
        return FailOutOfMemory();
    }
}

bool KQoxImporter::OpenWithReader()
{
    FileClose();
    ForgetFile();
    mError.ClearLastError();
    if (mFileName.IsEmpty())
    {
        mError.SetLastErrorID(eUNINITIALIZED_FILENAME);
        return false;
    }
    const char* fileName = mFileName.ToChars();
    int format = mFileFormat >= 0 ? mFileFormat : KQoxIORegistry::FindReaderByExtension(fileName);
    if (format < 0)
        format = eIMPORT_QOX_BINARY; // unknown extensions are tried as native files
    mReader.reset(KQoxIORegistry::CreateReader(format, mManager));
    if (!mReader)
    {
        mError.SetLastErrorID(eINVALID_FILE_FORMAT);
        return false;
    }
    KQoxReaderQox* native = dynamic_cast<KQoxReaderQox*>(mReader.get());
    if (native)
        native->SetPassword(mOptions.GetPassword());
    if (!mReader->FileOpen(fileName))
    {
        TakeReaderError();
        FileClose();
        return false;
    }
    mFileFormat = format;
    if (native)
    {
        // The form found in the file names the format.
        KQox::EForm form = native->GetFileForm();
        mFileFormat = form == KQox::eASCII ? eIMPORT_QOX_ASCII
                                           : (form == KQox::eENCRYPTED ? eIMPORT_QOX_ENCRYPTED : eIMPORT_QOX_BINARY);
        mVersion = native->GetFileVersion();
        for (int i = 0; i < native->GetTakeCount(); ++i)
        {
            mTakes.emplace_back(new KQoxTakeInfo(*native->GetTakeInfo(i)));
            mSelected.push_back(true);
        }
        mCurrentTake = native->GetCurrentTakeName();
        if (!mCurrentTake.IsOK())
            throw std::bad_alloc();
    }
    return true;
}

bool KQoxImporter::GetFileVersion(int& major, int& minor, int& revision) const
{
    if (!mReader || mVersion <= 0)
        return false;
    major = mVersion / 1000;
    minor = mVersion / 100 % 10;
    revision = mVersion % 100;
    // Versions before 5 read as 5.0.0.
    if (major >= 1 && major <= 4)
    {
        major = 5;
        minor = 0;
        revision = 0;
    }
    return true;
}

KQoxTakeInfo* KQoxImporter::GetTakeInfo(int index) const
{
    if (index < 0 || index >= static_cast<int>(mTakes.size()))
        return nullptr;
    return mTakes[static_cast<size_t>(index)].get();
}

bool KQoxImporter::IsTakeSelected(int index) const
{
    return index >= 0 && index < static_cast<int>(mSelected.size()) && mSelected[static_cast<size_t>(index)];
}

bool KQoxImporter::SetTakeSelected(int index, bool selected)
{
    if (index < 0 || index >= static_cast<int>(mSelected.size()))
    {
        mError.SetLastErrorID(eINDEX_OUT_OF_RANGE);
        return false;
    }
    mSelected[static_cast<size_t>(index)] = selected;
    mTakes[static_cast<size_t>(index)]->Selected = selected;
    return true;
}

KStreamOptions* KQoxImporter::GetImportOptions(EStreamOptionsGeneration generation)
{
    if (!mReader)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    try
    {
        return mReader->GetReadOptions(generation == eSTREAMOPTIONS_PARSE_FILE);
    }
    catch (const std::bad_alloc&)
    {
        mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
        return nullptr;
    }
}

bool KQoxImporter::Import(KQoxScene& scene, KStreamOptions* options)
{
    // The reader reports its own lack of memory; the options built here
    // (the selected takes' names) fail the same way.
    try
    {
        return ImportWithReader(scene, options);
    }
    catch (const std::bad_alloc&)
    {
        mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
        return false;
    }
}

bool KQoxImporter::ImportWithReader(KQoxScene& scene, KStreamOptions* options)
{
    if (!mReader || !mReader->IsFileOpen())
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    KStreamOptionsQox built;
    if (!options)
    {
        if (!dynamic_cast<KQoxReaderQox*>(mReader.get()))
        {
            mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
            return false;
        }
        // From the states, the password and the selected takes.
        for (int state = 0; state < KStreamOptionsQox::eSTATE_COUNT; ++state)
            built.SetState(state, mOptions.GetState(state));
        built.SetPassword(mOptions.GetPassword());
        built.mAllTakes = false;
        for (size_t i = 0; i < mTakes.size(); ++i)
            if (mSelected[i])
                built.mSelectedTakes.push_back(mTakes[i]->Name);
        options = &built;
    }
    mReader->ClearMessage();
    bool ok = mReader->Read(scene, options);
    mReader->TakeMessage(mMessage);
    if (!ok)
        TakeReaderError();
    return ok;
}

} // namespace qoxsdk_600
