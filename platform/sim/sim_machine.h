// A simulated Windows machine: every facet's state in one object, so that a test can
// build a machine, run the engine on it, and look at what changed.
//
// Paths: registry keys are written with their root name, "HKEY_LOCAL_MACHINE\SOFTWARE\X";
// HKEY_CURRENT_USER stands for HKEY_USERS\<current user> and HKEY_CLASSES_ROOT for
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Windows. Files are drive-letter paths,
// "C:\WINNT\win.ini". All names are 8-bit text in code page 932 and compared without
// regard to ASCII case (double-byte characters are compared as they stand).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace qx::sim {

struct SystemSettings {
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  DWORD majorVersion = 4;
  DWORD minorVersion = 0;
  DWORD buildNumber = 1381;
  std::string csdVersion;
  std::string windowsDirectory = "C:\\WINNT";
  std::string systemDirectory = "C:\\WINNT\\System32";
  std::string tempPath = "C:\\TEMP\\";
  std::string moduleFileName = "C:\\QXErs\\QXErs.exe";
  SYSTEMTIME localTime{2003, 4, 2, 1, 9, 5, 0, 0};
  std::string currentUser = "S-1-5-21-1000";  // the HKEY_USERS subkey that is HKEY_CURRENT_USER
  bool serviceManagerOpenable = true;          // false: OpenSCManagerA fails with ERROR_ACCESS_DENIED
  bool programManagerRunning = true;           // false: no DDE server answers "PROGMAN"
};

struct RegValue {
  std::string name;  // "" is the default value
  DWORD type = REG_SZ;
  std::string data;  // raw bytes, REG_SZ including its terminating zero
};

// A value where it is kept (a key's list, or a RegValue): valid until that changes.
struct RegValueView {
  std::string_view name;
  DWORD type = REG_SZ;
  std::string_view data;
  RegValueView() = default;
  RegValueView(std::string_view n, DWORD t, std::string_view d) : name(n), type(t), data(d) {}
  RegValueView(const RegValue& v) : name(v.name), type(v.type), data(v.data) {}  // NOLINT: a view of it
  RegValue Copy() const { return RegValue{std::string(name), type, std::string(data)}; }
};

struct FileEntry {
  std::string path;       // full path as written when it was created
  bool directory = false;
  DWORD attributes = 0;   // FILE_ATTRIBUTE_* (DIRECTORY set for directories)
  bool locked = false;    // held open by another program
  std::string lockedBy;   // held open by this service while it is not stopped ("" none)
  std::string shortName;  // 8.3 name when one was given or generated; "" when the long name is 8.3
  std::string contents;   // files only
};

// A fault to inject. call is a facet method's Windows name ("RegDeleteKeyA", "DeleteFileA",
// "CreateFileA", "OpenSCManagerA", ...). object, when not empty, restricts the fault to calls
// on that key or file (full path, compared as names are). nth = 0 fails every matching
// call; nth = n fails only the n-th matching call, counted from 1.
struct Fault {
  std::string call;
  std::string object;
  int nth = 0;
  DWORD error = ERROR_ACCESS_DENIED;
};

// How a service answers the service manager. Polls are QueryServiceStatus calls while the
// service is pending: a stop (start) completes on the pollsToStop-th (pollsToStart-th) of
// them, or at once when the count is 0; never, with neverStops (neverStarts). A refusal
// error fails the request with that error and changes nothing.
struct ServiceBehaviour {
  int pollsToStop = 0;
  int pollsToStart = 0;
  DWORD refuseStop = 0;
  DWORD refuseStart = 0;
  bool neverStops = false;
  bool neverStarts = false;
  bool operator==(const ServiceBehaviour&) const = default;
};

// One call that reached the service manager for a service, in order (calls that an injected
// fault failed never reach it and are not recorded).
struct ServiceCall {
  std::string call;     // "QueryServiceStatus", "ControlService", "StartServiceA", "DeleteService"
  std::string service;  // as the service was first named
  DWORD control = 0;    // ControlService's control code
  DWORD error = 0;      // ERROR_SUCCESS when the call succeeded
  DWORD state = 0;      // the service's state when the call returned
};

// One message a simulated window received, in order.
struct ReceivedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool posted;  // PostMessageA rather than SendMessageA
};

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// One message sent or posted to HWND_BROADCAST, in order. For WM_SETTINGCHANGE a nonzero
// lParam is the name of the changed section, kept as text.
struct BroadcastMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  bool hasText = false;
  std::string text;
  bool posted = false;
};

// What a top-level window of another program does with a message it receives. It acts on
// the message onMessage (with wParam onWParam when given), or on any message when onMessage
// is empty; other messages it answers with 0 and ignores. Acting means, in this order: set
// the event setsEvent, stop the service stopsService, then close as close says. A window
// with waitsEvent answers nothing (its program is busy waiting) until that named event is
// set, then handles what it was sent in order; a window that hangs answers nothing ever.
// Times are virtual: a window that closes after a delay goes once Sleep has spent it.
struct WindowBehaviour {
  enum class Close { kAtOnce, kAfter, kNever };
  Close close = Close::kAtOnce;
  DWORD closeAfterMs = 0;
  bool hangs = false;
  std::optional<UINT> onMessage;
  std::optional<WPARAM> onWParam;
  std::string stopsService;
  std::string setsEvent;
  std::string waitsEvent;
  bool operator==(const WindowBehaviour&) const = default;
};

struct ProgramWindow {
  std::string className;
  std::string title;
  std::string program;  // full path of the program that owns the window
  WindowBehaviour behaviour;
};

// A named event that another program holds open. endsProgram: the program waits on it and
// ends when it is set, closing its windows and letting the event go.
struct HeldEvent {
  std::string name;
  std::string program;
  bool signaled = false;
  bool endsProgram = false;
};

// A library or program on the simulated disk and what it does when the engine loads it,
// calls its entry points or starts it. A file that no module describes is not a valid
// image: loading or starting it fails with ERROR_BAD_EXE_FORMAT.
struct ModuleSpec {
  enum class Kind {
    kStatusManager,     // exports OpenManagerExA, UpdatePrinterStatusA, CloseManager
    kComponent,         // exports DllUnregisterServer: removes the classes whose InprocServer32 is this file
    kComponentProgram,  // a program that, started with /UnregServer, removes the classes whose LocalServer32 is it
    kProgram,           // a program that starts and does nothing the machine can see
    kDirectoryService,  // exports ADsGetObject (the IIS provider answers through the WebAdmin facet)
    kLibrary,           // a library that exports none of these
    kSystemAdvapi,      // Windows' own ADVAPI32.DLL: InitiateSystemShutdownExA from Windows 2000 on
  };
  std::string path;  // full path, as the file is named on the machine
  Kind kind = Kind::kLibrary;
  DWORD loadError = 0;                     // LoadLibraryA / CreateProcessA fail with this error
  std::vector<std::string> refusedPrinters;  // OpenManagerExA answers ERROR_INVALID_PRINTER_NAME for these
  LONG unregisterResult = 0;               // what DllUnregisterServer returns (it removes nothing when it fails)
};

// The local web server, as COM reaches it. The metabase holds keys (paths such as
// "/LM/W3SVC/1/ROOT/WebQX"; a key's parents exist with it); a key may define a web
// application. The IIS directory-service provider answers for the keys of the metabase.
struct WebServer {
  enum class Kind { kNone, kIis, kUnreachable };
  Kind kind = Kind::kNone;               // kNone: the classes are not registered
  std::vector<std::string> keys;
  std::vector<std::string> applications;  // keys that define a web application
  LONG refuseDeleteKey = 0;              // IMSAdminBase::DeleteKey fails with this HRESULT
  LONG refuseAppDelete = 0;              // IWamAdmin::AppDelete fails with this HRESULT
  bool directoryService = true;          // the IIS provider of ADsGetObject is installed
};

// A storm of faults: each call of the storm's table (sim_faults.cpp: the calls that fail on
// a busy or short-of-resources Windows, each with the errors Windows gives for it) fails with
// probability percent/100 and changes nothing. The draws come from a generator of the
// machine's own seeded with seed, one draw per call of the table, so that a run with the same
// seed on the same image fails the same calls. percent 0 is no storm.
struct FaultStorm {
  std::uint64_t seed = 0;
  unsigned percent = 0;
};

// One platform call, as the storm or the power cut saw it: its place among the calls that
// reached fault injection (counted from 1), its Windows name, the object it was on (as the
// faults match it, "" for none) and the error it failed with (0: it went through).
struct PlatformCall {
  std::uint64_t index = 0;
  std::string call;
  std::string object;
  DWORD error = 0;
};

// A restart, shutdown or logoff that the machine accepted, in the arguments it was given.
struct ShutdownRequest {
  std::string call;      // "ExitWindowsEx" or "InitiateSystemShutdownExA"
  UINT flags = 0;        // ExitWindowsEx's EWX_ flags
  std::string message;   // InitiateSystemShutdownExA's message (CP932)
  DWORD timeout = 0;     // seconds
  bool forceAppsClosed = false;
  bool reboot = false;   // the machine comes back: EWX_REBOOT, or restart after the shutdown
  DWORD reason = 0;
};

// Thrown by a platform call past the runaway limit (SimMachine::SetRunawayLimit).
struct RunawayRun {
  std::uint64_t calls = 0;
};

class SimMachine {
 public:
  SimMachine();
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // The facets, fault injection included, for the engine. The first call makes the
  // directories that Windows always has, as the settings name them (Windows, system and
  // temporary directories, and the program's current directory), where they are missing.
  Platform& platform();

  // System.
  SystemSettings& settings();
  const SystemSettings& settings() const;
  std::uint64_t ElapsedMs() const;  // virtual time that Sleep has spent
  void JoinThreads();               // waits for every thread started through CreateThread
  bool EventExists(std::string_view name) const;
  bool EventSignaled(std::string_view name) const;  // SetEvent has been called on it
  // A named event that another program holds open (a running instance, a companion program);
  // it stays when the engine closes its handles.
  void AddEvent(std::string_view name, bool signaled = false);

  // Registry.
  void AddKey(std::string_view keyPath);  // creates every missing level
  void SetValue(std::string_view keyPath, std::string_view name, DWORD type, std::string data);
  void RemoveValue(std::string_view keyPath, std::string_view name);  // nothing when it is missing
  // A key's values changed one after another, as a section of a .reg file lists them, with
  // the key walked to once: the same as AddKey (when makeKey is set) and then RemoveValue or
  // SetValue for each change in turn.
  struct ValueChange {
    std::string_view name;
    bool remove = false;
    DWORD type = REG_NONE;
    std::string_view data;
  };
  void ChangeValues(std::string_view keyPath, bool makeKey, const std::vector<ValueChange>& changes);
  void SetString(std::string_view keyPath, std::string_view name, std::string_view text);  // REG_SZ
  void SetDword(std::string_view keyPath, std::string_view name, DWORD value);
  void RemoveKey(std::string_view keyPath);  // with everything below it
  bool HasKey(std::string_view keyPath) const;
  std::optional<RegValue> Value(std::string_view keyPath, std::string_view name) const;
  std::vector<std::string> Subkeys(std::string_view keyPath) const;  // in enumeration order
  std::vector<RegValue> Values(std::string_view keyPath) const;      // in creation order
  // Every key below HKEY_LOCAL_MACHINE and HKEY_USERS, parents before children, as
  // full paths; for saving and comparing whole registries.
  std::vector<std::string> AllKeys() const;
  // The whole registry without a path per key, for copying or comparing large machines:
  // the roots HKEY_LOCAL_MACHINE and HKEY_USERS in turn, each key with the number of its
  // values and subkeys, then its values in creation order, then its subkeys (each the
  // same way) in enumeration order.
  class RegistryVisitor {
   public:
    virtual ~RegistryVisitor() = default;
    virtual void Key(std::string_view name, std::size_t values, std::size_t subkeys) = 0;
    virtual void Value(RegValueView value) = 0;
  };
  void VisitRegistry(RegistryVisitor& visitor) const;
  // The same for one key and everything below it; nothing when there is no such key.
  void VisitKey(std::string_view keyPath, RegistryVisitor& visitor) const;

  // Files. Parents of a new file or directory are created as needed.
  void AddFile(std::string_view path, std::string contents, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
  void AddDirectory(std::string_view path);
  void SetAttributes(std::string_view path, DWORD attributes);
  void SetLocked(std::string_view path, bool locked);  // false also ends a service's hold
  // The file is held open by the service (sharing violation on delete, move, open and write)
  // until the service reports stopped; then it is released for good. "" releases it.
  void SetLockedBy(std::string_view path, std::string_view serviceName);
  void SetShortName(std::string_view path, std::string_view shortName);
  void RemoveFile(std::string_view path);  // a file, or a directory with all it holds
  bool HasFile(std::string_view path) const;
  bool HasDirectory(std::string_view path) const;
  std::optional<FileEntry> File(std::string_view path) const;
  std::vector<FileEntry> AllFiles() const;  // parents before children, in name order
  // The same without a path per file: each drive's root ("C:", ...) in turn, each entry
  // with its attributes (as FileEntry has them), contents and number of entries, then
  // those entries (each the same way) in name order.
  class FileVisitor {
   public:
    virtual ~FileVisitor() = default;
    virtual void File(std::string_view name, bool directory, DWORD attributes, std::string_view contents,
                      std::size_t entries) = 0;
  };
  void VisitFiles(FileVisitor& visitor) const;

  // Files read through from outside the simulation (a real machine's disk, read only): a
  // drive whose entries the machine does not hold are listed from there when first looked at,
  // and a file's contents are read from there when it is first opened. What the engine then
  // deletes, moves or writes happens in the simulation only.
  class OutsideFiles {
   public:
    virtual ~OutsideFiles() = default;
    struct Entry {
      std::string name, shortName;  // shortName "" when the name is itself 8.3
      bool directory = false;
      DWORD attributes = 0;  // FILE_ATTRIBUTE_* as the disk reports them
      std::uint64_t size = 0;
    };
    // directory: a full path, a root as "C:\\"; false when it cannot be listed.
    virtual bool List(const std::string& directory, std::vector<Entry>& entries) = 0;
    virtual bool Read(const std::string& path, std::string& contents) = 0;
    // Whether another program holds the file open so that it cannot go now; asked once, when
    // the engine first deletes or moves it.
    virtual bool HeldOpen(const std::string& path) = 0;
  };
  // drives: the letters to read through (their roots are made where missing).
  void ReadFilesThrough(std::shared_ptr<OutsideFiles> outside, std::string_view drives);
  // What has been taken from outside so far, in order: "D <directory>" for a listing, "F
  // <file>" for contents. Replayed on another machine read through from the same disk
  // (ReplayOutsideReads), it makes that machine hold the same entries: a capture of it is
  // the disk as the first machine found it.
  std::vector<std::string> OutsideReads() const;
  void ReplayOutsideReads(const std::vector<std::string>& reads);

  // Services: only their run state lives here; their configuration is the registry
  // key HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>.
  void SetServiceState(std::string_view name, DWORD state);
  std::optional<DWORD> ServiceState(std::string_view name) const;
  std::vector<std::pair<std::string, DWORD>> ServiceStates() const;
  void SetServiceBehaviour(std::string_view name, ServiceBehaviour behaviour);
  ServiceBehaviour GetServiceBehaviour(std::string_view name) const;  // the defaults when none was set
  bool ServiceMarkedForDelete(std::string_view name) const;
  // Calls that reached the service with the handle's rights allowing them (a call failed by an
  // injected fault or refused for want of a right is not counted; ServiceCalls lists the latter).
  int StatusQueries(std::string_view name) const;    // QueryServiceStatus calls on the service
  int ControlRequests(std::string_view name) const;  // ControlService calls, any control code
  int StartRequests(std::string_view name) const;    // StartServiceA calls
  std::vector<ServiceCall> ServiceCalls() const;     // every recorded call, in order

  // The restart: every process ends (files held open are released, handles are gone), the
  // pending renames and deletions are carried out (PendingFileRenameOperations on NT, the
  // "[rename]" section of WININIT.INI on Windows 95/98) and cleared, services marked for
  // deletion go, and the others come back as their start type says: boot, system and
  // automatic services running, on-demand and disabled ones stopped, a service without a
  // Start value in the state it settles in. The virtual clock keeps running.
  void Reboot();
  // Restart and shutdown requests the machine accepted, in order; the machine does not go
  // down by itself (Reboot does that). The process that asked must first have enabled the
  // shutdown privilege in its token (an administrator holds it), except on Windows 95/98.
  std::vector<ShutdownRequest> ShutdownRequests() const;
  bool RestartRequested() const;  // one of them asked for a restart

  // Top-level windows of this machine.
  HWND AddWindow(std::string_view className, std::string_view title, WindowProc proc);
  void RemoveWindow(HWND window);
  std::vector<ReceivedMessage> Messages(HWND window) const;

  // Program Manager: every command text its DDE server received, in order (code page 932).
  std::vector<std::string> DdeCommands() const;

  // Print spooler. Its objects are registry data in Windows' own layout (sim_spooler.h);
  // these are what lives outside the registry.
  // OpenPrinterA on the NT family refuses a printer (local or connection, by name) any of
  // these access rights, e.g. DELETE (0x00010000) or PRINTER_ACCESS_ADMINISTER; 0 grants all.
  void SetPrinterDeniedAccess(std::string_view printer, DWORD access);
  // Every spooler call that changed something, and every broadcast, one line each, in order.
  std::vector<std::string> SpoolerJournal() const;
  std::vector<BroadcastMessage> Broadcasts() const;
  std::vector<std::pair<std::string, DWORD>> PrinterDeniedAccess() const;
  // Deleted while its files were held open: listed until the restart.
  bool DriverPendingDeletion(std::string_view environment, std::string_view driver) const;
  // Marks every version of the environment's driver so; false when it has none.
  bool SetDriverPendingDeletion(std::string_view environment, std::string_view driver);
  std::vector<std::pair<std::string, std::string>> PendingDrivers() const;  // environment, driver
  // Windows of other programs (they sit on top of the Z order when added), the named
  // events they hold, the libraries and programs on the disk and the web server.
  HWND AddProgramWindow(const ProgramWindow& window);
  std::vector<ProgramWindow> ProgramWindows() const;  // the open ones, topmost first
  void AddHeldEvent(const HeldEvent& event);
  std::vector<HeldEvent> HeldEvents() const;          // still held, in name order
  void AddModule(const ModuleSpec& module);           // replaces one for the same path
  std::vector<ModuleSpec> Modules() const;            // in path order
  void SetWebServer(const WebServer& server);
  WebServer GetWebServer() const;                     // as the engine left it
  // What the other programs, libraries and the web server received, one line per call, in
  // order (code page 932): messages to program windows, OpenEventA and SetEvent, library
  // and process calls, COM and metabase calls.
  std::vector<std::string> Calls() const;
  // Left behind by the engine: SendMessageA calls to a window that never answered (on
  // Windows the sender would wait for ever), libraries still loaded, process handles and
  // status managers not closed, COM objects not released, CoInitialize not matched.
  int HungSends() const;
  int LoadedLibraries() const;
  int OpenProcessHandles() const;
  int OpenStatusManagers() const;
  int LiveComObjects() const;
  int ComInitializations() const;

  // Faults.
  void AddFault(Fault fault);
  const std::vector<Fault>& Faults() const;
  // Whether call is the Windows name of a call that fault injection sees (the names a Fault
  // or machine.ini's [Faults] may give).
  static bool KnowsCall(std::string_view call);
  // The storm from now on (percent 0 ends it); the calls it failed, in order.
  void SetFaultStorm(FaultStorm storm);
  std::vector<PlatformCall> StormFailures() const;

  // Power cuts. The calls that can change what the machine keeps over a restart count as
  // changing: registry writes and deletions, file creation (any disposition but
  // OPEN_EXISTING), writes, deletions, moves, attribute changes and directory removal,
  // profile writes, service control, starts and deletions, spooler deletions and SetPrinterA,
  // Program Manager executes, DllUnregisterServer and program starts (a component program
  // unregisters its classes), metabase key and web-application deletions, and restart
  // requests. A call failed by a fault or the storm changed nothing and does not count.
  // CutAfter(k): the power goes off once the k-th changing call from now has completed; from
  // then on every changing call fails (ERROR_NOT_READY, or its HRESULT; DMLERR_SYS_ERROR for
  // DDE) and changes nothing, while calls that only read go on seeing the machine as the cut
  // left it. Each call is whole or not at all: the machine keeps exactly what the first k
  // calls did. Reboot() brings the power back, ends the cut and starts the count afresh.
  void CutAfter(std::uint64_t changingCalls);
  bool PoweredOff() const;
  std::uint64_t ChangingCalls() const;             // counted since the start or the last Reboot()
  std::vector<PlatformCall> ChangingCallLog() const;  // those calls, in order
  std::optional<PlatformCall> CutCall() const;     // the call after which the power went off

  // A fuse for test runs: once more than calls platform calls have reached fault injection
  // (since the start or the last Reboot()), the next one ends the thread that makes it (a
  // worker started through CreateThread ends there; the caller of a facet on another thread
  // gets a RunawayRun exception) and RanAway() says so from then on. 0, the default, is no
  // limit.
  void SetRunawayLimit(std::uint64_t calls);
  std::uint64_t PlatformCalls() const;  // calls that reached fault injection, since the start or the last Reboot()
  bool RanAway() const;

  // A readable listing of the whole machine, for failure messages.
  std::string dump() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace qx::sim
