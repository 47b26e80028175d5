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

std::string KEscapeControls(std::string_view text, bool lineBreaks)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || (lineBreaks && c == '\n'))
        {
            escaped += c;
            continue;
        }
        escaped += '\\';
        switch (byte)
        {
        case '\n': escaped += 'n'; break;
        case '\t': escaped += 't'; break;
        case '\r': escaped += 'r'; break;
        case 0x1B: escaped += 'e'; break;
        default:
            escaped += 'x';
            escaped += kDigits[byte >> 4];
            escaped += kDigits[byte & 15];
        }
    }
    return escaped;
}

KString KMessageText(std::string_view bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    KString text;
    for (const char c : bytes)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
        {
            text += c;
            continue;
        }
        const char escaped[] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15], '\0'};
        text += escaped;
    }
    return text;
}
