#include "fileio/kqoxioregistry.h"

#include <mutex>
#include <string>
#include <strings.h>

#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox6.h"

namespace qoxsdk_600 {

namespace {

struct Entry
{
    KQoxReaderFactory mReader = nullptr;
    KQoxWriterFactory mWriter = nullptr;
    std::string mDescription;
    std::string mExtension;
};

struct Registry
{
    std::mutex mLock;
    Entry mReaders[eIMPORT_FORMAT_COUNT];
    Entry mWriters[eEXPORT_FORMAT_COUNT];
};

KQoxReader* MakeNativeReader(KQoxSdkManager& manager)
{
    return new KQoxReaderQox(manager);
}

template <int Form>
KQoxWriter* MakeNativeWriter(KQoxSdkManager& manager)
{
    return new KQoxWriterQox6(manager, static_cast<KQox::EForm>(Form));
}

// Built on first use with the native formats in place.
Registry& TheRegistry()
{
    static Registry* registry = [] {
        Registry* r = new Registry;
        auto set = [](Entry& e, KQoxReaderFactory reader, KQoxWriterFactory writer, const char* description) {
            e.mReader = reader;
            e.mWriter = writer;
            e.mDescription = description;
            e.mExtension = "qox";
        };
        set(r->mReaders[eIMPORT_QOX_ASCII], &MakeNativeReader, nullptr, "QOX ASCII (*.qox)");
        set(r->mReaders[eIMPORT_QOX_BINARY], &MakeNativeReader, nullptr, "QOX binary (*.qox)");
        set(r->mReaders[eIMPORT_QOX_ENCRYPTED], &MakeNativeReader, nullptr, "QOX encrypted (*.qox)");
        set(r->mWriters[eEXPORT_QOX_BINARY], nullptr, &MakeNativeWriter<KQox::eBINARY>, "QOX binary (*.qox)");
        set(r->mWriters[eEXPORT_QOX_ASCII], nullptr, &MakeNativeWriter<KQox::eASCII>, "QOX ASCII (*.qox)");
        set(r->mWriters[eEXPORT_QOX_ENCRYPTED], nullptr, &MakeNativeWriter<KQox::eENCRYPTED>, "QOX encrypted (*.qox)");
        return r;
    }();
    return *registry;
}

bool Register(Entry* table, int count, int format, KQoxReaderFactory reader, KQoxWriterFactory writer,
              const char* description, const char* extension)
{
    if (format < 0 || format >= count)
        return false;
    std::lock_guard<std::mutex> guard(TheRegistry().mLock);
    table[format].mReader = reader;
    table[format].mWriter = writer;
    table[format].mDescription = description ? description : "";
    table[format].mExtension = extension ? extension : "";
    return true;
}

} // namespace

bool KQoxIORegistry::RegisterReader(int format, KQoxReaderFactory factory, const char* description,
                                    const char* extension)
{
    return Register(TheRegistry().mReaders, eIMPORT_FORMAT_COUNT, format, factory, nullptr, description, extension);
}

bool KQoxIORegistry::RegisterWriter(int format, KQoxWriterFactory factory, const char* description,
                                    const char* extension)
{
    return Register(TheRegistry().mWriters, eEXPORT_FORMAT_COUNT, format, nullptr, factory, description, extension);
}

KQoxReader* KQoxIORegistry::CreateReader(int format, KQoxSdkManager& manager)
{
    if (format < 0 || format >= eIMPORT_FORMAT_COUNT)
        return nullptr;
    KQoxReaderFactory factory;
    {
        std::lock_guard<std::mutex> guard(TheRegistry().mLock);
        factory = TheRegistry().mReaders[format].mReader;
    }
    return factory ? factory(manager) : nullptr;
}

KQoxWriter* KQoxIORegistry::CreateWriter(int format, KQoxSdkManager& manager)
{
    if (format < 0 || format >= eEXPORT_FORMAT_COUNT)
        return nullptr;
    KQoxWriterFactory factory;
    {
        std::lock_guard<std::mutex> guard(TheRegistry().mLock);
        factory = TheRegistry().mWriters[format].mWriter;
    }
    return factory ? factory(manager) : nullptr;
}

const char* KQoxIORegistry::GetReaderDescription(int format)
{
    if (format < 0 || format >= eIMPORT_FORMAT_COUNT)
        return "";
    return TheRegistry().mReaders[format].mDescription.c_str();
}

const char* KQoxIORegistry::GetWriterDescription(int format)
{
    if (format < 0 || format >= eEXPORT_FORMAT_COUNT)
        return "";
    return TheRegistry().mWriters[format].mDescription.c_str();
}

int KQoxIORegistry::FindReaderByExtension(const char* fileName)
{
    if (!fileName)
        return -1;
    std::string name(fileName);
    size_t dot = name.rfind('.');
    size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return -1;
    std::string extension = name.substr(dot + 1);
    // Take files are native files too.
    if (strcasecmp(extension.c_str(), "tak") == 0)
        return eIMPORT_QOX_BINARY;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mLock);
    for (int i = 0; i < eIMPORT_FORMAT_COUNT; ++i)
        if (registry.mReaders[i].mReader && !registry.mReaders[i].mExtension.empty() &&
            strcasecmp(registry.mReaders[i].mExtension.c_str(), extension.c_str()) == 0)
            return i;
    return -1;
}

} // namespace qoxsdk_600
