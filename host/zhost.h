#ifndef ZELT_HOST_ZHOST_H
#define ZELT_HOST_ZHOST_H

// Control of the stand-in host for tests and the zelt runner: the scene
// reset, the transcript of every script text run and every error reported,
// scripted dialog answers, the answers of host queries, plug-in loading and
// text dumps of the scene.

#include "host/zbase.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zelthost {

class Scene;

struct TranscriptEntry
{
    enum Kind
    {
        kCommand, // a script text given to the interpreter
        kError,   // an error reported (perror, failed command)
        kWarning,
        kInfo,  // print and info output
        kDialog // a dialog shown, with its answer
    };
    Kind kind;
    std::string text;
};

class Host
{
public:
    static Host& Get();

    // A new empty scene (default cameras and shading objects), an empty
    // transcript, no dialog answers queued, query answers at their defaults.
    // Registered commands and translators stay.
    void Reset();
    // A new scene only: the transcript, answers, units and UI state stay.
    void NewScene();
    Scene& GetScene();

    // ---- Transcript ----
    const std::vector<TranscriptEntry>& Transcript() const { return mTranscript; }
    std::vector<std::string> Commands() const;
    std::vector<std::string> Errors() const;
    void ClearTranscript() { mTranscript.clear(); }
    void Record(TranscriptEntry::Kind kind, const std::string& text);
    // Echo errors, warnings and printed output to stderr/stdout as they come.
    void SetEcho(bool echo) { mEcho = echo; }
    // Also echo to stdout the texts run with display on (the script editor
    // of a real host shows them); off by default.
    void SetEchoDisplayed(bool echo) { mEchoDisplayed = echo; }
    // RunFile prints to stdout the result of each line whose last command
    // gives one, as "// Result: " and its strings separated by blanks; off by
    // default.
    void SetEchoResults(bool echo) { mEchoResults = echo; }

    // ---- Answers ----
    // Button indices for the next dialogs, in order; an empty queue answers 0.
    void QueueDialogAnswers(const std::vector<int>& answers);
    int NextDialogAnswer();
    size_t PendingDialogAnswers() const { return mAnswers.size(); }
    void SetBatch(bool batch) { mBatch = batch; }
    bool Batch() const { return mBatch; }
    void SetUpAxis(const std::string& axis) { mUpAxis = axis; }
    const std::string& UpAxis() const { return mUpAxis; }

    // UI state changed by script texts.
    std::map<std::string, std::string> optionVars;
    int attributeEditorVisible = 1;
    int channelBoxVisible = 1;
    std::vector<std::string> openedWindows; // "AE" per openAEWindow, "refreshAE" ...
    // Built-in commands this host lacks (a host without character support
    // has no "character"); Reset empties it.
    std::set<std::string> missingCommands;

    // ---- Running scripts ----
    // Runs a script text; the result strings of its last command go to result.
    ZStatus Execute(const std::string& text, std::vector<std::string>* result = nullptr, bool display = false);
    // Runs a script file as the zelt runner does: line numbers in errors;
    // with keepGoing a failed line does not stop the file. Returns the number
    // of failed lines; -1 when the file cannot be read.
    int RunFile(const std::string& path, bool keepGoing);

    // ---- Plug-ins ----
    ZStatus LoadPlugin(const std::string& path);
    ZStatus UnloadPlugin(const std::string& name);
    void UnloadAllPlugins();

    // ---- Text views ----
    // The DAG as an indented tree with node types.
    std::string ListDag() const;
    // Counts of nodes, meshes, curves, skin clusters.
    std::string Info() const;
    // The whole scene: DAG, every node's attributes with values, connections,
    // curves with keys, meshes, sets and skin weights.
    std::string Dump() const;

private:
    Host();
    std::vector<TranscriptEntry> mTranscript;
    std::deque<int> mAnswers;
    bool mBatch = true;
    bool mEcho = false;
    bool mEchoDisplayed = false;
    bool mEchoResults = false;
    std::string mUpAxis = "y";
};

} // namespace zelthost

#endif
