// The run-time engine: the platform layer korvex, drev and tallox are written against.
//
// Free functions shaped like the calls the programs make. A non-negative result is success, a
// negative one a failure; nothing here throws across a callback or crashes on a wrong handle.
// The model (panels, controls, values) is the truth and has no Qt in it; the Qt view only mirrors
// it. Everything runs on one thread, the event loop's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Events, keys, callback shapes
// ---------------------------------------------------------------------------------------------
enum {
  EVENT_NONE = 0,
  EVENT_COMMIT = 1,
  EVENT_VAL_CHANGED = 2,
  EVENT_LEFT_CLICK = 3,
  EVENT_LEFT_DOUBLE_CLICK = 4,
  EVENT_RIGHT_CLICK = 5,
  EVENT_KEYPRESS = 6,
  EVENT_GOT_FOCUS = 7,
  EVENT_LOST_FOCUS = 8,
  EVENT_CLOSE = 9,
  EVENT_TIMER_TICK = 10,
  EVENT_PANEL_SIZE = 11,
  EVENT_DISCARD = 12,
};

// Key codes carried in eventData1 of EVENT_KEYPRESS (and given to FakeKeystroke).
enum {
  VAL_ESC_VKEY = 0x0300,
  VAL_ENTER_VKEY = 0x0500,
  VAL_UP_ARROW_VKEY = 0x0600,
  VAL_DOWN_ARROW_VKEY = 0x0700,
  VAL_TAB_VKEY = 0x0900,
  VAL_HOME_VKEY = 0x0B00,
  VAL_END_VKEY = 0x0C00,
  VAL_F12_VKEY = 0x1A00,
};

// Control and panel callbacks: (panel, control, event, callbackData, eventData1, eventData2).
// A panel callback gets control 0.
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData,
                                int eventData1, int eventData2);
using PanelCallbackPtr = CtrlCallbackPtr;
// Menu callbacks: (menuBar, menuItem, callbackData, panel).
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// ---------------------------------------------------------------------------------------------
// Control types, attributes, colours
// ---------------------------------------------------------------------------------------------
enum CtrlType {
  CTRL_NUMERIC = 1,
  CTRL_STRING,
  CTRL_TEXT_BOX,
  CTRL_TEXT_MSG,
  CTRL_LED,
  CTRL_BINARY_SWITCH,
  CTRL_COMMAND_BUTTON,
  CTRL_RING,
  CTRL_LIST_BOX,
  CTRL_TIMER,
  CTRL_GRAPH,
  CTRL_STRIP_CHART,
};

enum Attribute {
  // panel attributes
  ATTR_TITLE = 1,
  ATTR_VISIBLE,
  ATTR_TOP,
  ATTR_LEFT,
  ATTR_WIDTH,
  ATTR_HEIGHT,
  ATTR_BACKCOLOR,
  ATTR_WINDOW_ZOOM,     // VAL_NO_ZOOM, VAL_MINIMIZE, VAL_MAXIMIZE
  ATTR_PANEL_PARENT,    // read only: 0 for a top-level panel
  // control attributes
  ATTR_LABEL_TEXT = 100,
  ATTR_DIMMED,
  ATTR_TEXT_COLOR,
  ATTR_TEXT_BGCOLOR,
  ATTR_ON_COLOR,
  ATTR_OFF_COLOR,
  ATTR_DATA_TYPE,       // VAL_INTEGER, VAL_DOUBLE, VAL_STRING
  ATTR_FRAME_COLOR,
  ATTR_CTRL_MODE,       // VAL_NORMAL / VAL_INDICATOR / VAL_HOT
  ATTR_FORMAT,          // VAL_DECIMAL_FORMAT, VAL_HEX_FORMAT
  ATTR_PRECISION,
  ATTR_CTRL_TYPE,       // read only: CtrlType
  ATTR_CALLBACK_NAME,   // read only
  ATTR_FIRST_VISIBLE_LINE,
  ATTR_MAX_ENTRY_LENGTH,
  // String controls: 1 = the whole text is selected, so that the first key the user types
  // replaces it (a message shown in an entry line). Any new value clears it.
  ATTR_TEXT_SELECTED,
  // timer control
  ATTR_INTERVAL = 200,  // seconds (double)
  ATTR_ENABLED,
  // graphs and strip charts
  ATTR_POINTS_PER_SCREEN = 300,
  ATTR_NUM_TRACES,
  ATTR_XNAME,
  ATTR_YNAME,
  // trace attributes (SetTraceAttribute)
  ATTR_TRACE_COLOR = 400,
  ATTR_TRACE_VISIBLE,
  ATTR_TRACE_LG_TEXT,
  ATTR_PLOT_STYLE,
};

enum {
  VAL_INTEGER = 1,
  VAL_DOUBLE = 2,
  VAL_STRING = 3,
  VAL_NORMAL = 0,
  VAL_INDICATOR = 1,
  VAL_HOT = 2,
  VAL_DECIMAL_FORMAT = 0,
  VAL_HEX_FORMAT = 1,
  VAL_NO_ZOOM = 0,
  VAL_MINIMIZE = 1,
  VAL_MAXIMIZE = 2,
  // axes and scaling
  VAL_XAXIS = 0,
  VAL_LEFT_YAXIS = 1,
  VAL_BOTTOM_XAXIS = 0,
  VAL_MANUAL = 0,
  VAL_AUTOSCALE = 1,
  VAL_LOCK = 2,
  VAL_LINEAR_SCALE = 0,
  VAL_LOG_SCALE = 1,
  // plot styles
  VAL_THIN_LINE = 0,
  VAL_SCATTER = 1,
  VAL_CONNECTED_POINTS = 2,
  VAL_VERTICAL_BAR = 3,
  // delete all plots
  VAL_DELETE_ALL = -1,
  VAL_IMMEDIATE_DRAW = 1,
  VAL_DELAYED_DRAW = 0,
};

// Colours are 0xRRGGBB.
enum : int {
  VAL_BLACK = 0x000000,
  VAL_WHITE = 0xFFFFFF,
  VAL_RED = 0xFF0000,
  VAL_GREEN = 0x00FF00,
  VAL_BLUE = 0x0000FF,
  VAL_YELLOW = 0xFFFF00,
  VAL_CYAN = 0x00FFFF,
  VAL_MAGENTA = 0xFF00FF,
  VAL_GRAY = 0xA0A0A0,
  VAL_LT_GRAY = 0xCCCCCC,
  VAL_DK_GRAY = 0x808080,
  VAL_PANEL_GRAY = 0xD8D0C8,
};

// Error codes of the engine outside TCP.
enum {
  RTE_OK = 0,
  RTE_ERR_BAD_PANEL = -1,
  RTE_ERR_BAD_CONTROL = -2,
  RTE_ERR_BAD_ATTRIBUTE = -3,
  RTE_ERR_BAD_VALUE = -4,
  RTE_ERR_BAD_INDEX = -5,
  RTE_ERR_FILE = -6,
  RTE_ERR_RESOURCE = -7,
  RTE_ERR_TYPE = -8,
  RTE_ERR_USER_CANCEL = -9,
};

// ---------------------------------------------------------------------------------------------
// Callback registry: resource files name their callbacks; the programs register them by name
// before loading panels.
// ---------------------------------------------------------------------------------------------
namespace rte {
void RegisterCallback(const std::string& name, CtrlCallbackPtr fn);
void RegisterMenuCallback(const std::string& name, MenuCallbackPtr fn);
CtrlCallbackPtr FindCallback(const std::string& name);
MenuCallbackPtr FindMenuCallback(const std::string& name);
// Directories searched (after the working directory) for resource files; the programs add the
// folder their .uir files are installed in.
void AddResourceDir(const std::string& dir);
// Text of the last resource-load failure ("file: panel N: control M: ...").
const std::string& LastLoadError();
}  // namespace rte

#define RTE_REGISTER_CALLBACK(fn) ::rte::RegisterCallback(#fn, &fn)
#define RTE_REGISTER_MENU_CALLBACK(fn) ::rte::RegisterMenuCallback(#fn, &fn)

// ---------------------------------------------------------------------------------------------
// Panels and controls
// ---------------------------------------------------------------------------------------------
// parent 0 = top-level panel. Returns the new panel handle (> 0) or a negative code.
int LoadPanel(int parent, const char* resourceFile, int resourceId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetPanelPos(int panel, int top, int left);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char* value);
int GetPanelAttribute(int panel, int attribute, int* value);
int GetPanelAttribute(int panel, int attribute, std::string* value);

// Setting a text box appends; every other control takes the value.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned value);
int SetCtrlVal(int panel, int control, long value);
int SetCtrlVal(int panel, int control, unsigned long value);
int SetCtrlVal(int panel, int control, long long value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int SetCtrlVal(int panel, int control, const std::string& value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, unsigned* value);
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, std::string* value);
// Copies at most size-1 characters and terminates.
int GetCtrlVal(int panel, int control, char* value, std::size_t size);

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, std::string* value);

int SetCtrlIndex(int panel, int control, int index);
int GetCtrlIndex(int panel, int control, int* index);
int SetActivePanel(int panel);
int GetActivePanel();
int SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);

// The simulated key reaches the active control of the active panel after the current callback
// has returned.
int FakeKeystroke(int key);

// ---------------------------------------------------------------------------------------------
// Lists (rings and list boxes) and text boxes
// ---------------------------------------------------------------------------------------------
// index -1 appends. Item values are numbers or texts.
int InsertListItem(int panel, int control, int index, const char* label, double value);
int InsertListItem(int panel, int control, int index, const char* label, const char* value);
int ReplaceListItem(int panel, int control, int index, const char* label, double value);
int ReplaceListItem(int panel, int control, int index, const char* label, const char* value);
int DeleteListItem(int panel, int control, int index, int count);  // count -1 = to the end
int ClearListCtrl(int panel, int control);
int GetNumListItems(int panel, int control, int* count);
int GetValueFromIndex(int panel, int control, int index, double* value);
int GetValueFromIndex(int panel, int control, int index, std::string* value);
int GetLabelFromIndex(int panel, int control, int index, std::string* label);
int GetIndexFromValue(int panel, int control, int* index, double value);
int IsListItemChecked(int panel, int control, int index, int* checked);
int CheckListItem(int panel, int control, int index, int checked);

int InsertTextBoxLine(int panel, int control, int index, const char* text);  // -1 appends
int ReplaceTextBoxLine(int panel, int control, int index, const char* text);
int DeleteTextBoxLine(int panel, int control, int index);
int GetNumTextBoxLines(int panel, int control, int* count);
int GetTextBoxLine(int panel, int control, int index, std::string* text);
int ResetTextBox(int panel, int control, const char* text);

// ---------------------------------------------------------------------------------------------
// Graphs and strip charts
// ---------------------------------------------------------------------------------------------
// Returns a plot handle (> 0).
int PlotXY(int panel, int control, const double* x, const double* y, int n, int style = VAL_THIN_LINE,
           int color = VAL_RED);
int PlotY(int panel, int control, const double* y, int n, int style = VAL_THIN_LINE,
          int color = VAL_RED);
int DeleteGraphPlot(int panel, int control, int plotHandle, int drawMode = VAL_IMMEDIATE_DRAW);
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int SetAxisScale(int panel, int control, int axis, int linearOrLog);  // VAL_LINEAR_SCALE / VAL_LOG_SCALE
int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max);
int InsertAxisItem(int panel, int control, int axis, int index, const char* label, double value);
int ClearAxisItems(int panel, int control, int axis);
int GetGraphCursor(int panel, int control, int cursor, double* x, double* y);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);
// Trace attributes: on a graph the trace is a plot handle, on a strip chart the trace number (1-based).
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);
int SetTraceAttribute(int panel, int control, int trace, int attribute, const char* value);
int GetTraceAttribute(int panel, int control, int trace, int attribute, int* value);
// values holds one point for each trace, n points in all (n = k * traces).
int PlotStripChart(int panel, int control, const double* values, int n);
int ClearStripChart(int panel, int control);

// ---------------------------------------------------------------------------------------------
// Loop
// ---------------------------------------------------------------------------------------------
int RunUserInterface();
int QuitUserInterface(int returnCode);
int ProcessSystemEvents();
int SetWaitCursor(int on);
int Delay(double seconds);  // keeps serving events while it waits
int Cls();                  // clears the text console (nothing to do here)
int PrintPanel(int panel, const char* fileName = nullptr);  // fileName: print to a PDF instead
int SetPrintAttributeEx(int attribute, int value);

// ---------------------------------------------------------------------------------------------
// Pop-ups
// ---------------------------------------------------------------------------------------------
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };
enum { VAL_LOAD_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_SELECT_BUTTON = 2, VAL_OK_BUTTON = 3 };

int MessagePopup(const char* title, const char* message);
// 1 = yes, 0 = no.
int ConfirmPopup(const char* title, const char* message);
// 0 = OK (reply holds at most maxLength characters), RTE_ERR_USER_CANCEL = cancelled (reply empty).
int PromptPopup(const char* title, const char* message, std::string* reply, int maxLength);
int PromptPopup(const char* title, const char* message, char* reply, int maxLength);
// Returns VAL_NO_FILE_SELECTED, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED.
int FileSelectPopup(const char* directory, const char* pattern, const char* title, int buttonMode,
                    std::string* path);

namespace rte {

struct PopupRecord {
  std::string kind;    // "message", "confirm", "prompt", "file"
  std::string title;
  std::string text;
  std::string answer;  // what was answered ("yes"/"no", the reply, the path, "" for a message)
  bool answered = true;  // false when nothing was queued and cancel/no was given
};

class PopupBackend {
 public:
  virtual ~PopupBackend() = default;
  virtual int message(const std::string& title, const std::string& text) = 0;
  virtual int confirm(const std::string& title, const std::string& text) = 0;
  virtual int prompt(const std::string& title, const std::string& text, std::string* reply,
                     int maxLength) = 0;
  virtual int fileSelect(const std::string& dir, const std::string& pattern, const std::string& title,
                         int buttonMode, std::string* path) = 0;
};

// Answers queued in advance, every pop-up recorded. Answers are consumed in order by whatever
// pop-up comes next: for confirm "yes"/"y"/"1" is yes and anything else no; for a prompt the text
// is the reply and "<cancel>" cancels; for a file dialog the text is the path ("" or "<cancel>"
// = none). A message pop-up consumes nothing. With no answer queued, the pop-up gets cancel/no
// and is reported on stderr.
class ScriptedPopups : public PopupBackend {
 public:
  void queue(const std::string& answer);
  bool loadAnswers(const std::string& file);  // one answer a line
  const std::vector<PopupRecord>& transcript() const { return transcript_; }
  void clearTranscript() { transcript_.clear(); }
  std::size_t pending() const { return answers_.size() - next_; }
  bool quiet = false;  // do not report unanswered pop-ups on stderr

  int message(const std::string& title, const std::string& text) override;
  int confirm(const std::string& title, const std::string& text) override;
  int prompt(const std::string& title, const std::string& text, std::string* reply,
             int maxLength) override;
  int fileSelect(const std::string& dir, const std::string& pattern, const std::string& title,
                 int buttonMode, std::string* path) override;

 private:
  bool take(std::string* answer);
  std::vector<std::string> answers_;
  std::size_t next_ = 0;
  std::vector<PopupRecord> transcript_;
};

// The engine uses this backend from now on (not owned). nullptr restores the default
// (scripted with no answers when headless, Qt dialogs with the view).
void SetPopupBackend(PopupBackend* backend);
PopupBackend* GetPopupBackend();
// True while a pop-up is open: other callbacks are held back.
bool PopupOpen();

}  // namespace rte

// ---------------------------------------------------------------------------------------------
// TCP
// ---------------------------------------------------------------------------------------------
enum { TCP_CONNECT = 1, TCP_DISCONNECT = 2, TCP_DATAREADY = 3 };

enum {
  kTCP_NoError = 0,
  kTCP_UnableToRegisterService = -1,
  kTCP_UnableToEstablishConnection = -2,
  kTCP_ExistingServer = -3,
  kTCP_FailedToConnect = -4,
  kTCP_ServerNotRegistered = -5,
  kTCP_TooManyConnections = -6,
  kTCP_ReadFailed = -7,
  kTCP_WriteFailed = -8,
  kTCP_InvalidParameter = -9,
  kTCP_OutOfMemory = -10,
  kTCP_TimeOutErr = -11,
  kTCP_NoConnectionEstablished = -12,
  kTCP_GeneralIOErr = -13,
  kTCP_ConnectionClosed = -14,
  kTCP_UnableToLoadWinsockDLL = -15,
  kTCP_IncorrectWinsockDLLVersion = -16,
  kTCP_NetworkSubsystemNotReady = -17,
  kTCP_ConnectionsStillOpen = -18,
};

// (handle, event TCP_CONNECT/TCP_DISCONNECT/TCP_DATAREADY, error code, callbackData)
using tcpFuncPtr = int (*)(unsigned handle, int xType, int errCode, void* callbackData);

// Blocking connect with a time-out in ms. 0 on success, a negative TCP code on failure.
int ConnectToTCPServer(unsigned* handle, unsigned port, const char* server, tcpFuncPtr callback,
                       void* callbackData, unsigned timeoutMs);
int DisconnectFromTCPServer(unsigned handle);
// Reads what is there, at most n bytes, waiting up to timeoutMs for the first byte.
// Returns the number of bytes read or a negative TCP code.
int ClientTCPRead(unsigned handle, void* buffer, std::size_t n, unsigned timeoutMs);
// Writes all n bytes, waiting up to timeoutMs. Returns n or a negative TCP code.
int ClientTCPWrite(unsigned handle, const void* buffer, std::size_t n, unsigned timeoutMs);
// listenAddress: nullptr or "" = every address of the machine.
int RegisterTCPServer(unsigned port, tcpFuncPtr callback, void* callbackData,
                      const char* listenAddress = nullptr);
int UnregisterTCPServer(unsigned port);
int ServerTCPRead(unsigned handle, void* buffer, std::size_t n, unsigned timeoutMs);
int ServerTCPWrite(unsigned handle, const void* buffer, std::size_t n, unsigned timeoutMs);
// Queues n bytes for a client without waiting for them to leave. When the bytes already queued
// for it plus n would exceed maxQueued (a peer that stopped reading), nothing is queued and
// kTCP_TimeOutErr is returned. n, or a negative TCP code.
int ServerTCPWriteQueued(unsigned handle, const void* buffer, std::size_t n, std::size_t maxQueued);
int DisconnectTCPClient(unsigned handle);
int GetTCPPeerName(unsigned handle, std::string* name);
int GetTCPPeerAddr(unsigned handle, std::string* addr);
// The port a registered server really listens on (useful after registering port 0 in tests).
int GetTCPServerPort(unsigned requestedPort);

// ---------------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------------
// Index of pattern in buffer[start, start+len) (len -1 = to the terminating zero), or -1.
int FindPattern(const char* buffer, int start, int len, const char* pattern, int caseSensitive,
                int fromRight);
int CompareStrings(const char* a, int aIndex, const char* b, int bIndex, int caseSensitive);
void StringUpperCase(char* s);
void StringLowerCase(char* s);
void StringUpperCase(std::string& s);
void StringLowerCase(std::string& s);
// "MM-DD-YYYY" and "HH:MM:SS" of the engine clock (local time).
std::string DateStr();
std::string TimeStr();

// ---------------------------------------------------------------------------------------------
// Files: "/" or "\" separate components; a component not found as written is looked up without
// regard to letter case.
// ---------------------------------------------------------------------------------------------
namespace rte {
std::string ResolvePath(const std::string& path);
}
// mode as for fopen ("rb", "ab+", "w", ...). Returns a file handle (> 0) or RTE_ERR_FILE.
int OpenFile(const char* path, const char* mode);
int CloseFile(int file);
int WriteFile(int file, const void* data, std::size_t n);  // n or RTE_ERR_FILE
int ReadFile(int file, void* data, std::size_t n);         // bytes read, 0 at the end
// One line up to the line feed (the feed and a carriage return before it are dropped).
// Returns the line's length, -1 at end of file, RTE_ERR_FILE on a bad handle.
int ReadLine(int file, std::string* line);
int FlushFile(int file);
int SetFilePtr(int file, long long offset, int origin);  // origin: 0 start, 1 current, 2 end
long long GetFilePtr(int file);
// 1 and the size when the file exists, 0 when not.
int GetFileInfo(const char* path, long long* size);
int RenameFile(const char* from, const char* to);
int DeleteFile(const char* path);

// ---------------------------------------------------------------------------------------------
// Time: one clock for the whole program, which tests can set.
// ---------------------------------------------------------------------------------------------
namespace rte {
std::time_t Now();
// Fix the clock at t (it then only moves through AdvanceClock), or pass -1 to follow real time.
void SetClock(std::time_t t);
void AdvanceClock(long long seconds);
std::tm LocalTime(std::time_t t);
}  // namespace rte
