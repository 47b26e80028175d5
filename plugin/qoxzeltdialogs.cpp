#include "plugin/qoxzeltdialogs.h"

#include "host/zglobal.h"

std::string QoxZeltQuote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
    {
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            (out += '\\') += c;
        else if (c != '\r')
            out += c;
    }
    return out + "\"";
}

QoxZelt3ButtonDialog::QoxZelt3ButtonDialog()
    : QoxZelt3ButtonDialog(3)
{}

QoxZelt3ButtonDialog::QoxZelt3ButtonDialog(int maxButtons)
    : mMaxButtons(maxButtons)
    , mMessage("Left empty")
{
    mButtons[0] = "Ok";
}

void QoxZelt3ButtonDialog::Button(int index, const char* label)
{
    if (index >= 0 && index < mMaxButtons)
        mButtons[index] = label ? label : "";
}

ZString QoxZelt3ButtonDialog::Command() const
{
    std::string text = "confirmDialog -t " + QoxZeltQuote(mTitle) + " -m " + QoxZeltQuote(mMessage);
    for (int i = 0; i < mMaxButtons; ++i)
        if (!mButtons[i].empty())
            text += " -b " + QoxZeltQuote(mButtons[i]);
    return ZString(text);
}

int QoxZelt3ButtonDialog::Pop()
{
    ZString pressed;
    if (!ZGlobal::executeCommand(Command(), pressed))
        return -1;
    for (int i = 0; i < mMaxButtons; ++i)
        if (!mButtons[i].empty() && pressed == mButtons[i].c_str())
            return i;
    return -1;
}

QoxZeltConfirmDialog::QoxZeltConfirmDialog()
    : QoxZelt3ButtonDialog(2)
{}

namespace {

QoxZeltProgressMeter::Listener& ProgressListener()
{
    static QoxZeltProgressMeter::Listener listener;
    return listener;
}

} // namespace

void QoxZeltProgressMeter::Reset(bool, const char*)
{
    mStep = 0;
}

void QoxZeltProgressMeter::Activate(const char* label)
{
    if (ProgressListener())
        ProgressListener()(label ? label : "");
}

bool QoxZeltProgressMeter::Listening()
{
    return static_cast<bool>(ProgressListener());
}

QoxZeltProgressMeter::Listener QoxZeltProgressMeter::SetListener(Listener listener)
{
    Listener previous = std::move(ProgressListener());
    ProgressListener() = std::move(listener);
    return previous;
}
