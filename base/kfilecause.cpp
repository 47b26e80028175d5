#include "base/kfilecause.h"

#include <cerrno>

const char* const kCAUSE_EMPTY_FILE = "the file is empty";
const char* const kCAUSE_NOT_NATIVE = "not a native scene file";

bool KOutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

const char* KFileErrorCause(int error)
{
    switch (error)
    {
    case ENOENT:
    case ENOTDIR: return "no such file";
    case EISDIR: return "it is a directory";
    case EACCES:
    case EPERM: return "permission denied";
    case ENAMETOOLONG: return "the name is too long";
    case ELOOP: return "the symbolic links form a loop";
    case EMFILE:
    case ENFILE: return "too many files are open";
    default: return "";
    }
}

namespace {

// Appends the byte as \xHH.
void AppendHex(std::string& text, unsigned char byte)
{
    static const char kDigits[] = "0123456789ABCDEF";
    text += "\\x";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
}

} // namespace

std::string KEscapeControls(std::string_view text, bool lineBreaks)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || (lineBreaks && c == '\n'))
            escaped += c;
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else if (byte == 0x1B)
            escaped += "\\e";
        else
            AppendHex(escaped, byte);
    }
    return escaped;
}

KString KMessageText(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            text += c;
        else
            AppendHex(text, byte);
    }
    return KString(text.c_str());
}
