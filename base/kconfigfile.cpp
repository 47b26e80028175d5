#include "base/kconfigfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "base/klib.h"
#include "base/knumbertext.h"
#include "base/kpath.h"

namespace {

const char* Safe(const char* text)
{
    return text ? text : "";
}

// Reads one whole line (line end removed); false at the end of the file.
bool ReadLine(FILE* file, std::string& line)
{
    line.clear();
    bool any = false;
    for (int c; (c = std::getc(file)) != EOF;)
    {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

// The line without its comment (text from the first ';').
std::string CutComment(const std::string& line)
{
    size_t semicolon = line.find(';');
    return semicolon == std::string::npos ? line : line.substr(0, semicolon);
}

// A section line holds both '[' and ']'; its name is the text between them.
bool SectionName(const std::string& text, std::string& name)
{
    size_t open = text.find('[');
    if (open == std::string::npos || text.find(']') == std::string::npos)
        return false;
    size_t close = text.find(']', open + 1);
    if (close == std::string::npos)
        close = text.size();
    name = text.substr(open + 1, close - open - 1);
    return true;
}

bool Blank(char c)
{
    return static_cast<unsigned char>(c) < '!';
}

std::string TrimRight(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && Blank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

// Splits an entry line "key = value" into its key and value: leading blanks
// (and '=' before the value) skipped, trailing blanks removed. False for a
// line without '='.
bool SplitEntry(const std::string& text, std::string& key, std::string& value)
{
    size_t start = 0;
    while (start < text.size() && Blank(text[start]))
        ++start;
    size_t equal = text.find('=', start);
    if (equal == std::string::npos)
        return false;
    key = TrimRight(text.substr(start, equal - start));
    size_t v = equal;
    while (v < text.size() && (Blank(text[v]) || text[v] == '='))
        ++v;
    value = TrimRight(text.substr(v));
    return true;
}

bool SameName(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

char* CopyText(const char* text)
{
    size_t n = strlen(text) + 1;
    char* copy = new char[n];
    memcpy(copy, text, n);
    return copy;
}

KCharPtrSet* SectionAt(KCharPtrSet* sections, int index, char** name)
{
    return reinterpret_cast<KCharPtrSet*>(sections->GetFromIndex(index, name));
}

// Writes a whole text to a file; false on a write error.
bool Put(FILE* file, const std::string& text)
{
    return fwrite(text.data(), 1, text.size(), file) == text.size();
}

const mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// The folder of a file path: "/" for a file at the root, "." for a bare name.
std::string FolderOf(const char* path)
{
    const char* slash = strrchr(path, '/');
    if (!slash)
        return ".";
    return slash == path ? "/" : std::string(path, static_cast<size_t>(slash - path));
}

// Settings no other user can have written: a regular file, writable by no
// other user, of this user's own or root's in a folder only root can write
// (an administrator's).
bool IsTrustedSettings(const struct stat& status, const char* path)
{
    if (!S_ISREG(status.st_mode) || (status.st_mode & kOthersWrite) != 0)
        return false;
    if (status.st_uid == geteuid())
        return true;
    struct stat folder;
    return status.st_uid == 0 && stat(FolderOf(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
           folder.st_uid == 0 && (folder.st_mode & kOthersWrite) == 0;
}

// The settings file opened for reading, never through a symbolic link (nor
// waiting on a FIFO); null when it is missing or not to be trusted, as if it
// were not there.
FILE* OpenSettings(const char* path)
{
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status;
    FILE* file = nullptr;
    if (fstat(fd, &status) == 0 && IsTrustedSettings(status, path))
        file = fdopen(fd, "r");
    if (!file)
        close(fd);
    return file;
}

// A new file of the user's own, mode 0600, under the name for writing: what
// lay there (a stale copy, a planted link) is removed first, and the file is
// made only if nothing took the name meanwhile, so nothing is ever written
// through a link or into another user's file.
FILE* CreateFresh(const char* path)
{
    unlink(path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "w");
    if (!file)
        close(fd);
    return file;
}

} // namespace

// ---------------------------------------------------------------------------
// KConfigFile

KConfigFile::KConfigFile(const char* name, bool inMemory)
    : mDirty(false)
{
    mValue[0] = 0;
    BuildPaths(name, KLib_GetConfigDirectory());
    if (inMemory)
    {
        mVirtualFile = std::make_unique<KCharPtrSet>(20);
        VirtualFileLoad(mVirtualFile.get());
    }
}

KConfigFile::KConfigFile(const char* name, const char* directory)
    : mDirty(false)
{
    mValue[0] = 0;
    BuildPaths(name, directory);
}

KConfigFile::~KConfigFile()
{
    if (mVirtualFile)
    {
        if (mDirty)
            VirtualFileDump(mVirtualFile.get());
        VirtualFileClear(mVirtualFile.get());
    }
}

void KConfigFile::BuildPaths(const char* name, const char* directory)
{
    name = Safe(name);
    KString dir(Safe(directory));
    if (name[0] == '@')
    {
        char host[256];
        KLib_GetComputerName(host, sizeof(host));
        mFilePath = dir + "/" + host + "." + (name + 1);
        mBackupPath = dir + "/" + host + ".backupfile.ini";
    }
    else
    {
        mFilePath = dir + "/" + name;
        mBackupPath = dir + "/backupfile.ini";
    }
}

char* KConfigFile::CopyValue(const char* text)
{
    size_t n = strnlen(text, kValueSize - 1);
    memcpy(mValue, text, n);
    mValue[n] = 0;
    return mValue;
}

char* KConfigFile::Get(const char* section, const char* key, const char* defaultValue)
{
    if (mVirtualFile)
        return VirtualFileGet(mVirtualFile.get(), section, key, defaultValue);
    section = Safe(section);
    key = Safe(key);
    if (defaultValue)
        CopyValue(defaultValue);

    bool found = false;
    FILE* file = OpenSettings(mFilePath);
    if (file)
    {
        bool inSection = false;
        std::string line;
        while (!found && ReadLine(file, line))
        {
            std::string text = CutComment(line);
            std::string name;
            if (SectionName(text, name))
            {
                inSection = SameName(name, section);
                continue;
            }
            std::string entryKey;
            std::string value;
            if (inSection && SplitEntry(text, entryKey, value) && SameName(entryKey, key))
            {
                CopyValue(value.c_str());
                found = true;
            }
        }
        fclose(file);
    }
    return (found || defaultValue) ? mValue : nullptr;
}

bool KConfigFile::Set(const char* section, const char* key, const char* value, const char* comment)
{
    if (mVirtualFile)
    {
        if (!VirtualFileSet(mVirtualFile.get(), section, key, value))
            return false;
        mDirty = true;
        return true;
    }
    section = Safe(section);
    key = Safe(key);
    value = Safe(value);

    std::string entry = std::string(key) + " = " + value;
    if (comment && *comment)
        entry += std::string(" ; ") + comment;
    entry += "\n";

    // The new text goes to the backup file, which then replaces the file:
    // the original stays whole until its replacement is completely written.
    FILE* in = OpenSettings(mFilePath);
    FILE* out = CreateFresh(mBackupPath);
    if (!out)
    {
        if (in)
            fclose(in);
        return false;
    }
    bool ok = true;
    bool existed = in != nullptr;
    bool hadLines = false;
    bool inTarget = false;
    bool found = false;
    bool written = false;
    if (in)
    {
        std::string line;
        while (ReadLine(in, line))
        {
            bool firstLine = !hadLines;
            hadLines = true;
            std::string text = CutComment(line);
            std::string name;
            if (SectionName(text, name))
            {
                bool target = SameName(name, section);
                if (!target && inTarget && !written)
                {
                    ok = Put(out, entry) && ok;
                    written = true;
                }
                inTarget = target;
                if (target)
                    found = true;
                if (!firstLine)
                    ok = Put(out, "\n") && ok;
                ok = Put(out, line + "\n") && ok;
                continue;
            }
            if (inTarget && !written)
            {
                std::string entryKey;
                std::string oldValue;
                if (SplitEntry(text, entryKey, oldValue) && SameName(entryKey, key))
                {
                    ok = Put(out, entry) && ok;
                    written = true;
                    continue;
                }
            }
            if (line.empty())
                continue; // blank lines are dropped
            ok = Put(out, line + "\n") && ok;
        }
        if (ferror(in))
            ok = false;
        fclose(in);
    }
    if (!found)
    {
        if (hadLines)
            ok = Put(out, "\n") && ok;
        ok = Put(out, std::string("[") + section + "]\n") && ok;
    }
    if (!written)
        ok = Put(out, entry) && ok;
    if (!existed)
        ok = Put(out, "\n") && ok;
    if (fclose(out) != 0)
        ok = false;

    if (!ok || rename(mBackupPath, mFilePath) != 0)
    {
        remove(mBackupPath);
        return false;
    }
    return true;
}

bool KConfigFile::GetOrSet(const char* section, const char* key, const char* value, const char* comment)
{
    if (Get(section, key, nullptr))
        return true;
    return Set(section, key, value, comment);
}

bool KConfigFile::ClearFile()
{
    if (mVirtualFile)
    {
        VirtualFileClear(mVirtualFile.get());
        return true;
    }
    FILE* file = CreateFresh(mFilePath);
    if (!file)
        return false;
    return fclose(file) == 0;
}

void KConfigFile::VirtualFileLoad(KCharPtrSet* sections)
{
    if (!sections)
        return;
    FILE* file = OpenSettings(mFilePath);
    if (!file)
        return;
    KCharPtrSet* current = nullptr;
    std::string line;
    while (ReadLine(file, line))
    {
        std::string text = CutComment(line);
        size_t start = text.find_first_not_of(" \t\n\r");
        if (start == std::string::npos)
            continue;
        text = text.substr(start);

        std::string name;
        if (SectionName(text, name))
        {
            // A section named twice collects its entries in one place.
            current = reinterpret_cast<KCharPtrSet*>(sections->Get(name.c_str()));
            if (!current)
            {
                current = new KCharPtrSet(20);
                sections->Add(name.c_str(), reinterpret_cast<kReference>(current));
            }
            continue;
        }
        std::string key;
        std::string value;
        if (!current || !SplitEntry(text, key, value))
            continue;
        // The first entry of a key wins, as when reading the file directly.
        if (current->Get(key.c_str()))
            continue;
        char* copy = CopyText(value.c_str());
        if (copy)
            current->Add(key.c_str(), reinterpret_cast<kReference>(copy));
    }
    fclose(file);
}

bool KConfigFile::VirtualFileDump(KCharPtrSet* sections)
{
    if (!sections)
        return false;
    FILE* out = CreateFresh(mBackupPath);
    if (!out)
        return false;
    bool ok = true;
    for (int i = 0; i < sections->GetCount(); ++i)
    {
        char* name = nullptr;
        KCharPtrSet* entries = SectionAt(sections, i, &name);
        if (i > 0)
            ok = Put(out, "\n") && ok;
        ok = Put(out, std::string("[") + Safe(name) + "]\n") && ok;
        if (!entries)
            continue;
        for (int j = 0; j < entries->GetCount(); ++j)
        {
            char* key = nullptr;
            const char* value = reinterpret_cast<const char*>(entries->GetFromIndex(j, &key));
            ok = Put(out, std::string(Safe(key)) + " = " + Safe(value) + "\n") && ok;
        }
    }
    if (fclose(out) != 0)
        ok = false;
    if (!ok || rename(mBackupPath, mFilePath) != 0)
    {
        remove(mBackupPath);
        return false;
    }
    return true;
}

char* KConfigFile::VirtualFileGet(KCharPtrSet* sections, const char* section, const char* key, const char* defaultValue)
{
    if (sections)
    {
        KCharPtrSet* entries = reinterpret_cast<KCharPtrSet*>(sections->Get(Safe(section)));
        if (entries)
        {
            char* value = reinterpret_cast<char*>(entries->Get(Safe(key)));
            if (value)
                return value;
        }
    }
    return defaultValue ? CopyValue(defaultValue) : nullptr;
}

bool KConfigFile::VirtualFileSet(KCharPtrSet* sections, const char* section, const char* key, const char* value)
{
    if (!sections)
        return false;
    section = Safe(section);
    key = Safe(key);
    char* copy = CopyText(Safe(value));
    if (!copy)
        return false;

    KCharPtrSet* entries = reinterpret_cast<KCharPtrSet*>(sections->Get(section));
    if (!entries)
    {
        entries = new KCharPtrSet(20);
        sections->Add(section, reinterpret_cast<kReference>(entries));
    }
    int index = -1;
    char* old = reinterpret_cast<char*>(entries->Get(key, &index));
    if (old)
    {
        delete[] old;
        (*entries)[index] = reinterpret_cast<kReference>(copy);
    }
    else
    {
        entries->Add(key, reinterpret_cast<kReference>(copy));
    }
    return true;
}

void KConfigFile::VirtualFileClear(KCharPtrSet* sections)
{
    if (!sections)
        return;
    for (int i = 0; i < sections->GetCount(); ++i)
    {
        KCharPtrSet* entries = SectionAt(sections, i, nullptr);
        if (!entries)
            continue;
        for (int j = 0; j < entries->GetCount(); ++j)
            delete[] reinterpret_cast<char*>(entries->GetFromIndex(j));
        delete entries;
    }
    sections->Clear();
}

// ---------------------------------------------------------------------------
// KRegistry

KRegistry::KRegistry() {}

KRegistry::~KRegistry() {}

KRegistry& KRegistry::Instance()
{
    static KRegistry instance;
    return instance;
}

bool KRegistry::Connect(const char* file, const char* section)
{
    mFileName = Safe(file);
    mSectionName = Safe(section);
    mConfigFile = std::make_unique<KConfigFile>(mFileName, false);
    return true;
}

bool KRegistry::Close()
{
    mConfigFile.reset();
    return true;
}

namespace {

// The key's value read with the scanf format, or the default when there is no
// file, no key or no number.
template <typename T>
T ScanValue(KConfigFile* file, const char* section, const char* key, const char* format, T defaultValue)
{
    const char* text = file ? file->Get(section, key, nullptr) : nullptr;
    T value = T();
    if (!text || sscanf(text, format, &value) != 1)
        return defaultValue;
    return value;
}

} // namespace

int KRegistry::ReadInt(const char*, const char* key, int defaultValue)
{
    return ScanValue(mConfigFile.get(), mSectionName, key, "%d", defaultValue);
}

float KRegistry::ReadFloat(const char*, const char* key, float defaultValue)
{
    // As "%f" reads it, with a point in every locale.
    const char* text = mConfigFile ? mConfigFile->Get(mSectionName, key, nullptr) : nullptr;
    float value = 0.0f;
    if (!text || KScanFloat(text, text + strlen(text), value) == text)
        return defaultValue;
    return value;
}

void KRegistry::ReadString(const char*, const char* key, const char* defaultValue, KString& out)
{
    const char* text = mConfigFile ? mConfigFile->Get(mSectionName, key, nullptr) : nullptr;
    out = text ? text : Safe(defaultValue);
}

bool KRegistry::WriteInt(const char*, const char* key, int value)
{
    return mConfigFile && mConfigFile->Set(mSectionName, key, KString(value), nullptr);
}

bool KRegistry::WriteFloat(const char*, const char* key, float value)
{
    return mConfigFile && mConfigFile->Set(mSectionName, key, KString(value), nullptr);
}

bool KRegistry::WriteString(const char*, const char* key, const char* value)
{
    if (!mConfigFile)
        return false;
    return mConfigFile->Set(mSectionName, key, value, nullptr);
}

// ---------------------------------------------------------------------------

namespace {

int ReadDisplayDecimalCount()
{
    KConfigFile file("@Application.txt", false);
    int count = atoi(file.Get("NumericField", "Decimal", "2"));
    // The count shapes "%.<n>f" formats: keep it to what a double shows.
    if (count < 0)
        count = 0;
    if (count > 15)
        count = 15;
    return count;
}

} // namespace

int GetDisplayDecimalCount()
{
    // Read by the first caller while any others wait.
    static const int sDecimalCount = ReadDisplayDecimalCount();
    return sDecimalCount;
}
