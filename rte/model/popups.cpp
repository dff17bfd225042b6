// Pop-ups through one interface: Qt dialogs with the view, scripted answers headless and in tests.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "model.h"

namespace rte {

namespace {
ScriptedPopups& DefaultScripted() {
  static ScriptedPopups s;
  return s;
}
PopupBackend* g_backend = nullptr;
bool g_stopRequested = false;

std::string Lower(std::string s) {
  StringLowerCase(s);
  return s;
}

// Opening and closing a pop-up: while one is open the loop holds every other callback back.
struct Modal {
  Modal() { model::PopupEntered(); }
  ~Modal() { model::PopupLeft(); }
};
}  // namespace

void ScriptedPopups::queue(const std::string& answer) { answers_.push_back(answer); }

bool ScriptedPopups::loadAnswers(const std::string& file) {
  std::ifstream in(ResolvePath(file));
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answers_.push_back(line);
  }
  return true;
}

bool ScriptedPopups::take(std::string* answer) {
  if (next_ >= answers_.size()) return false;
  *answer = answers_[next_++];
  return true;
}

int ScriptedPopups::message(const std::string& title, const std::string& text) {
  transcript_.push_back({"message", title, text, "", true});
  return 0;
}

int ScriptedPopups::confirm(const std::string& title, const std::string& text) {
  std::string a;
  bool got = take(&a);
  std::string l = Lower(a);
  int yes = got && (l == "yes" || l == "y" || l == "1" || l == "ok") ? 1 : 0;
  transcript_.push_back({"confirm", title, text, yes ? "yes" : "no", got});
  if (!got && !quiet)
    std::fprintf(stderr, "rte: unanswered question \"%s\" / \"%s\": no\n", title.c_str(), text.c_str());
  return yes;
}

int ScriptedPopups::prompt(const std::string& title, const std::string& text, std::string* reply,
                           int maxLength) {
  std::string a;
  bool got = take(&a);
  if (!got || a == "<cancel>") {
    if (reply) reply->clear();
    transcript_.push_back({"prompt", title, text, "<cancel>", got});
    if (!got && !quiet)
      std::fprintf(stderr, "rte: unanswered prompt \"%s\" / \"%s\": cancel\n", title.c_str(), text.c_str());
    return RTE_ERR_USER_CANCEL;
  }
  if (maxLength >= 0 && static_cast<int>(a.size()) > maxLength) a.resize(maxLength);
  if (reply) *reply = a;
  transcript_.push_back({"prompt", title, text, a, true});
  return 0;
}

int ScriptedPopups::fileSelect(const std::string& dir, const std::string& pattern,
                               const std::string& title, int buttonMode, std::string* path) {
  std::string a;
  bool got = take(&a);
  std::string shown = dir + " " + pattern;
  if (!got || a.empty() || a == "<cancel>") {
    if (path) path->clear();
    transcript_.push_back({"file", title, shown, "<cancel>", got});
    if (!got && !quiet)
      std::fprintf(stderr, "rte: unanswered file dialog \"%s\": cancel\n", title.c_str());
    return VAL_NO_FILE_SELECTED;
  }
  if (path) *path = a;
  transcript_.push_back({"file", title, shown, a, true});
  return GetFileInfo(a.c_str(), nullptr) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

void SetPopupBackend(PopupBackend* backend) { g_backend = backend; }
PopupBackend* GetPopupBackend() { return g_backend ? g_backend : &DefaultScripted(); }
bool PopupOpen() { return model::PopupsOpen() > 0; }
bool StopRequested() { return g_stopRequested; }
namespace model {
void SetStopRequested(bool on) { g_stopRequested = on; }
}  // namespace model

}  // namespace rte

// Once the program is told to stop, nobody is left to answer: every pop-up is cancelled unseen.
int MessagePopup(const char* title, const char* message) {
  if (rte::StopRequested()) return 0;
  rte::Modal m;
  return rte::GetPopupBackend()->message(title ? title : "", message ? message : "");
}

int ConfirmPopup(const char* title, const char* message) {
  if (rte::StopRequested()) return 0;
  rte::Modal m;
  return rte::GetPopupBackend()->confirm(title ? title : "", message ? message : "");
}

int PromptPopup(const char* title, const char* message, std::string* reply, int maxLength) {
  if (rte::StopRequested()) {
    if (reply) reply->clear();
    return RTE_ERR_USER_CANCEL;
  }
  rte::Modal m;
  return rte::GetPopupBackend()->prompt(title ? title : "", message ? message : "", reply, maxLength);
}

int PromptPopup(const char* title, const char* message, char* reply, int maxLength) {
  std::string r;
  int rc = PromptPopup(title, message, &r, maxLength);
  if (reply && maxLength > 0) {
    // The buffer holds maxLength characters and the terminator.
    std::size_t n = std::min<std::size_t>(r.size(), static_cast<std::size_t>(maxLength));
    std::memcpy(reply, r.data(), n);
    reply[n] = 0;
  }
  return rc;
}

int FileSelectPopup(const char* directory, const char* pattern, const char* title, int buttonMode,
                    std::string* path) {
  if (rte::StopRequested()) {
    if (path) path->clear();
    return VAL_NO_FILE_SELECTED;
  }
  rte::Modal m;
  return rte::GetPopupBackend()->fileSelect(directory ? directory : "", pattern ? pattern : "",
                                            title ? title : "", buttonMode, path);
}
