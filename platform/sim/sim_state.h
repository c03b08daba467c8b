// The simulated machine's state and its core facets (the facets without fault injection).
// Internal to platform/sim: tests and tools use SimMachine.
//
// One recursive mutex guards the whole state. A facet call takes it for its whole length,
// except while a window's handler or a thread procedure runs: those run unlocked so that they
// can call the facets themselves, from any thread. (In a build that runs the machine on one
// thread only, the lock does nothing: sim_sync.h.)
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/sim/sim_dde.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_names.h"
#include "platform/sim/sim_spooler.h"
#include "platform/sim/sim_outside.h"
#include "platform/sim/sim_shutdown.h"
#include "platform/sim/sim_sync.h"
#include "platform/sim/sim_text.h"

namespace qx::sim {

// ---------------------------------------------------------------- registry

// A key's subkeys and values change only through the state's registry helpers
// (SetRegValue, DeleteRegValue, ClearRegValues, CreateKeyPath, DetachKey), which tell the
// spooler what changed.
struct RegKey {
  std::string name;  // as written when created
  std::weak_ptr<RegKey> parent;
  NameSet<RegKey> subkeys;  // by folded name: enumeration order
  ValueList values;         // creation order
  bool deleted = false;
};

struct RegHandle {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
};

// ---------------------------------------------------------------- files

struct FileNode;

// A directory's entries by long name (in folded order, as NTFS lists them) and by short
// name, and what the directory's short-name generation has learned: for a pattern of
// candidate names, the numbers already found taken (forgotten whenever a name is freed).
// An entry's names change only while it is out of the directory, or through SetShortName.
class DirEntries {
 public:
  using const_iterator = NameSet<FileNode>::const_iterator;
  const_iterator begin() const { return byLong_.begin(); }
  const_iterator end() const { return byLong_.end(); }
  std::size_t size() const { return byLong_.size(); }
  bool empty() const { return byLong_.empty(); }

  std::shared_ptr<FileNode> FindLong(std::string_view name) const { return byLong_.Find(name); }
  // The first entry, in long-name order, whose short name is name.
  FileNode* FindShort(std::string_view name) const;
  bool Insert(const std::shared_ptr<FileNode>& node);
  void Erase(const FileNode& node);
  void SetShortName(FileNode& node, std::string shortName);
  // A long or short name of an entry other than except is candidate (compared as names are).
  bool Taken(std::string_view candidate, const FileNode* except) const;
  // Per pattern of generated short names, the first number that may still be free.
  std::unordered_map<std::string, std::uint32_t>& Hints();

 private:
  struct ShortLess {
    using is_transparent = void;
    bool operator()(const FileNode* a, const FileNode* b) const;
    bool operator()(const FileNode* a, std::string_view b) const;
    bool operator()(std::string_view a, const FileNode* b) const;
  };
  NameSet<FileNode> byLong_;
  std::set<FileNode*, ShortLess> byShort_;  // entries with a short name, by it and then long name
  std::unique_ptr<std::unordered_map<std::string, std::uint32_t>> hints_;
};

struct OutsideSource;

struct FileNode {
  std::string name;       // long name as written; "C:" for a drive's root
  std::string shortName;  // "" when the long name is itself an 8.3 name
  bool directory = false;
  DWORD attributes = 0;   // without FILE_ATTRIBUTE_DIRECTORY; 0 reads as FILE_ATTRIBUTE_NORMAL
  bool locked = false;
  std::string lockedBy;  // a service that holds it open until it stops
  std::string contents;
  std::weak_ptr<FileNode> parent;
  DirEntries children;
  bool deleted = false;
  // Read through from outside (SimMachine::ReadFilesThrough): a directory whose entries, or a
  // file whose contents, are still to be taken from outsidePath, and the file's size meanwhile.
  OutsideSource* outside = nullptr;
  bool listingPending = false;
  bool contentsPending = false;
  bool holdAsked = false;  // whether the file is held open outside has been asked
  std::uint64_t outsideSize = 0;
  std::string outsidePath;
};

// Where read-through entries come from, and the record of what was taken.
struct OutsideSource {
  std::shared_ptr<SimMachine::OutsideFiles> files;
  std::vector<std::string> reads;
  std::vector<std::shared_ptr<FileNode>> roots;  // the drives read through
  // Both do nothing for a node that has nothing pending.
  void List(FileNode& dir);
  void Read(FileNode& file);
  void AskHold(FileNode& file);  // marks it locked when it is held open outside
};
// The node with its entries listed / its contents read, where they come from outside.
const FileNode& Listed(const FileNode& dir);
FileNode& WithContents(FileNode& file);

// A path taken apart: the drive letter (upper case) and the components below the root,
// with "." and ".." resolved.
struct ParsedPath {
  char drive = 'C';
  std::vector<std::string> parts;
  bool trailingSeparator = false;
};

struct OpenFile {
  std::shared_ptr<FileNode> node;
  std::string path;  // full path, for faults and the listing
  DWORD access = 0;
  DWORD share = 0;
  std::uint64_t position = 0;
};

struct FindSearch {
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
  std::string directory;  // full path of the searched directory
};

// ---------------------------------------------------------------- system

struct SimEvent {
  std::string name;  // "" for an unnamed event
  bool manualReset = false;
  bool signaled = false;
  int handles = 0;
  bool heldElsewhere = false;  // another program keeps it open
  std::string heldBy;          // that program, when known
  bool endsProgram = false;    // setting it ends that program
};

struct SimThread {
  Thread thread;
  std::atomic<bool> finished{false};
  DWORD exitCode = 0;
};

using KernelObject = std::variant<OpenFile, FindSearch, std::shared_ptr<SimEvent>, std::shared_ptr<SimThread>>;

// ---------------------------------------------------------------- services

struct ServiceRecord {
  std::string name;  // as first written
  DWORD state = SERVICE_STOPPED;
  bool markedForDelete = false;  // DeleteService was called (the key's DeleteFlag says so too)
  ServiceBehaviour behaviour;
  int pollsLeft = 0;  // status queries until a pending state completes
  int statusQueries = 0;
  int controlRequests = 0;
  int startRequests = 0;
};

struct ScHandle {
  bool manager = false;
  std::string service;  // folded service name
  DWORD access = 0;     // the rights granted, generic rights mapped
};

// ---------------------------------------------------------------- windows

struct SimWindow {
  HWND hwnd = nullptr;
  std::string className;
  std::string title;
  WindowProc proc;
  bool alive = true;
  std::vector<ReceivedMessage> messages;
  int dispatching = 0;                  // nesting depth of handler calls
  std::vector<ReceivedMessage> queued;  // posted while the handler was running
  std::shared_ptr<ProgramWindowState> program;  // a window of another program (no handler)
};

// ---------------------------------------------------------------- core facets

class RegistryCore final : public Registry {
 public:
  explicit RegistryCore(SimMachine::State& s) : s_(s) {}
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result) override;
  LONG RegCreateKeyExA(HKEY key, const char* subKey, const char* keyClass, DWORD options, REGSAM sam,
                       HKEY* result, DWORD* disposition) override;
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) override;
  LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) override;
  LONG RegDeleteValueA(HKEY key, const char* name) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* cchName) override;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data,
                     DWORD* cbData) override;
  LONG RegCloseKey(HKEY key) override;

 private:
  SimMachine::State& s_;
};

class FilesCore final : public Files {
 public:
  explicit FilesCore(SimMachine::State& s) : s_(s) {}
  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                     DWORD flagsAndAttributes) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override;
  DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileA(const char* name) override;
  BOOL MoveFileA(const char* from, const char* to) override;
  BOOL MoveFileExA(const char* from, const char* to, DWORD flags) override;
  BOOL SetFileAttributesA(const char* name, DWORD attributes) override;
  BOOL RemoveDirectoryA(const char* name) override;
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA& data) override;
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA& data) override;
  BOOL FindClose(HANDLE find) override;
  DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) override;
  DWORD GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) override;
  BOOL SetCurrentDirectoryA(const char* path) override;

 private:
  BOOL Move(const char* from, const char* to, DWORD flags);
  SimMachine::State& s_;
};

class ProfileCore final : public Profile {
 public:
  explicit ProfileCore(SimMachine::State& s) : s_(s) {}
  DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer, const char* file) override;
  DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                 DWORD cchBuffer, const char* file) override;
  BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override;
  DWORD GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                          DWORD cchBuffer) override;
  BOOL WriteProfileStringA(const char* section, const char* key, const char* value) override;

 private:
  SimMachine::State& s_;
};

class SystemCore final : public System {
 public:
  explicit SystemCore(SimMachine::State& s) : s_(s) {}
  BOOL GetVersionExA(OSVERSIONINFOA& info) override;
  UINT GetSystemDirectoryA(char* buffer, UINT cchBuffer) override;
  UINT GetWindowsDirectoryA(char* buffer, UINT cchBuffer) override;
  DWORD GetTempPathA(DWORD cchBuffer, char* buffer) override;
  DWORD GetModuleFileNameA(char* buffer, DWORD cchBuffer) override;
  void GetLocalTime(SYSTEMTIME& time) override;
  BOOL GetComputerNameA(char* buffer, DWORD* size) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState, const char* name) override;
  HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name) override;
  BOOL SetEvent(HANDLE event) override;
  HANDLE CreateThread(ThreadProc proc, void* argument) override;
  BOOL CloseHandle(HANDLE handle) override;

 private:
  SimMachine::State& s_;
};

class ServicesCore final : public Services {
 public:
  explicit ServicesCore(SimMachine::State& s) : s_(s) {}
  SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) override;
  BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) override;
  BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) override;
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) override;
  BOOL DeleteService(SC_HANDLE service) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;

 private:
  SimMachine::State& s_;
};

class WindowsCore final : public Windows {
 public:
  explicit WindowsCore(SimMachine::State& s) : s_(s) {}
  HWND FindWindowA(const char* className, const char* windowName) override;
  BOOL EnumWindows(const std::function<BOOL(HWND)>& callback) override;
  int GetWindowTextA(HWND window, char* buffer, int cchBuffer) override;
  int GetClassNameA(HWND window, char* buffer, int cchBuffer) override;
  BOOL IsWindow(HWND window) override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                              UINT timeoutMs, DWORD_PTR* result) override;

 private:
  int CopyWindowString(HWND window, char* buffer, int cchBuffer, std::string SimWindow::*field);
  SimMachine::State& s_;
};

// The fault-injecting facets: each call is checked against the machine's faults first and
// otherwise handed to the core facet.
std::unique_ptr<Registry> MakeFaultRegistry(SimMachine::State& s, Registry& core);
std::unique_ptr<Files> MakeFaultFiles(SimMachine::State& s, Files& core);
std::unique_ptr<Profile> MakeFaultProfile(SimMachine::State& s, Profile& core);
std::unique_ptr<System> MakeFaultSystem(SimMachine::State& s, System& core);
std::unique_ptr<Services> MakeFaultServices(SimMachine::State& s, Services& core);
std::unique_ptr<Windows> MakeFaultWindows(SimMachine::State& s, Windows& core);

// ---------------------------------------------------------------- the state

struct SimMachine::State {
  State();
  ~State();

  mutable MachineMutex mu;
  SystemSettings settings;

  // Registry: the two real roots; HKEY_CLASSES_ROOT and HKEY_CURRENT_USER are paths below them.
  std::shared_ptr<RegKey> hklm;
  std::shared_ptr<RegKey> hku;
  std::map<std::uintptr_t, RegHandle> regHandles;
  std::uintptr_t nextRegHandle = 0x100;

  // Files: one root per drive letter.
  std::map<char, std::shared_ptr<FileNode>> drives;
  std::unique_ptr<OutsideSource> outsideFiles;  // files read through from a real disk
  std::optional<std::string> currentDirectory;  // unset: the program's own directory

  // Kernel objects: files, searches, events, threads share one handle numbering.
  std::map<std::uintptr_t, KernelObject> kernelHandles;
  std::uintptr_t nextKernelHandle = 0x1000;
  std::map<std::string, std::shared_ptr<SimEvent>> namedEvents;  // names are case-sensitive
  std::vector<std::shared_ptr<SimThread>> threads;

  // Services.
  std::map<std::string, ServiceRecord> services;  // by folded name
  std::map<std::uintptr_t, ScHandle> scHandles;
  std::uintptr_t nextScHandle = 0x2000;
  std::vector<ServiceCall> serviceCalls;

  // Windows, in creation order (the newest is on top of the Z order).
  std::vector<std::shared_ptr<SimWindow>> windows;
  std::uintptr_t nextWindow = 0x10010;

  // Faults and how many matching calls each has seen.
  std::vector<Fault> faults;
  std::vector<int> faultCalls;
  // The storm, the power cut and the runaway fuse (sim_faults.cpp).
  FaultStorm storm;
  std::uint64_t stormDraws = 0;  // the generator's state
  std::vector<PlatformCall> stormFailures;
  std::uint64_t platformCalls = 0;  // calls that reached fault injection, since the start or the restart
  std::vector<PlatformCall> changingCalls;
  std::optional<std::uint64_t> cutAt;  // the count of changing calls after which the power goes off
  bool poweredOff = false;
  std::uint64_t runawayLimit = 0;
  bool ranAway = false;

  std::atomic<std::uint64_t> elapsedMs{0};
  std::map<ThreadId, DWORD> lastErrors;

  // Facets.
  RegistryCore registryCore{*this};
  FilesCore filesCore{*this};
  ProfileCore profileCore{*this};
  SystemCore systemCore{*this};
  ServicesCore servicesCore{*this};
  WindowsCore windowsCore{*this};
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Files> files;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<System> system;
  std::unique_ptr<Services> servicesFacet;
  std::unique_ptr<Windows> windowsFacet;
  // The print spooler (sim_spooler*.cpp): its own data besides the registry, and the facet.
  SpoolerData spoolerData;
  std::unique_ptr<Spooler> spooler;
  DdeCore dde{*this};
  OutsideState outside;
  SimModules modules{*this};
  ShutdownCore shutdown{*this};
  SimWebAdmin webadmin{*this};
  std::unique_ptr<Platform> platform;
  bool platformTaken = false;

  // ---- last error (per real thread)
  void SetError(DWORD error);
  DWORD Error();

  // ---- registry helpers
  // Splits "HKEY_LOCAL_MACHINE\A\B" (or HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS and
  // the short forms HKLM, HKCU, HKCR, HKU) into the real root and the names below it.
  bool ParseKeyPath(std::string_view path, std::shared_ptr<RegKey>& root, std::vector<std::string>& names);
  std::shared_ptr<RegKey> FindKey(const std::shared_ptr<RegKey>& from, const std::vector<std::string_view>& names) const;
  std::shared_ptr<RegKey> CreateKeyPath(const std::shared_ptr<RegKey>& from, const std::vector<std::string_view>& names,
                                        bool* created = nullptr);
  std::shared_ptr<RegKey> FindKeyPath(std::string_view path);
  std::shared_ptr<RegKey> EnsureKeyPath(std::string_view path);
  // The keys along the path named last: the image loader names one key after another in
  // tree order and the engine and the spooler name the same keys over and over, so a path
  // is followed from where it leaves the last one. The keys stay valid while the deepest is
  // in the tree (a key that leaves takes everything below it along).
  struct KeyPathMemo {
    std::string path;         // the path as written, up to the end of its deepest name walked
    std::string currentUser;  // what HKEY_CURRENT_USER stood for
    std::vector<std::size_t> ends;               // where the root's name, then each name below it, ends in path
    std::vector<std::shared_ptr<RegKey>> chain;  // the root's key, then one per name
  };
  KeyPathMemo keyPathMemo;
  // Keys walked to lately, by the whole text of their path as written: a path seen before is
  // one look, and a key under one of them one step from it (an image's keys alternate
  // between branches, which the memo's one path does not follow). An entry stands while its
  // key is in the tree and HKEY_CURRENT_USER stands for the same hive.
  struct KeyPathCache {
    struct Entry {
      std::string path;
      std::shared_ptr<RegKey> key;
    };
    static constexpr std::size_t kSlots = 256;  // a power of two
    std::vector<Entry> slots = std::vector<Entry>(kSlots);
    std::size_t last = 0;     // the slot found or filled last
    std::string currentUser;  // what HKEY_CURRENT_USER stood for when the entries were made
    // Paths that differ, differ mostly near their end: the length and the last bytes pick
    // the slot (the whole text is compared).
    Entry& SlotFor(std::string_view path) {
      std::uint64_t tail[2] = {0, 0};
      if (path.size() >= 16) {
        std::memcpy(&tail[0], path.data() + path.size() - 16, 8);
        std::memcpy(&tail[1], path.data() + path.size() - 8, 8);
      } else if (!path.empty()) {
        std::memcpy(tail, path.data(), path.size());
      }
      const std::uint64_t h = ((tail[0] * 0x9E3779B97F4A7C15ull) ^ (tail[1] + path.size())) * 0xC2B2AE3D27D4EB4Full;
      return slots[static_cast<std::size_t>(h >> 32) & (kSlots - 1)];
    }
  };
  KeyPathCache keyPathCache;
  // The key found in the cache for that text, or null.
  std::shared_ptr<RegKey> CachedKeyPath(std::string_view path);
  void CacheKeyPath(std::string_view path, const std::shared_ptr<RegKey>& key);
  // parent's subkey of that name, made (and the spooler told) when create is set; made says
  // whether it was.
  std::shared_ptr<RegKey> WalkStep(const std::shared_ptr<RegKey>& parent, std::string_view name, bool create,
                                   bool* made = nullptr);
  std::vector<std::string_view> pathParts;  // scratch for WalkKeyPath: a path's names
  std::vector<std::size_t> pathEnds;         // and where each ends
  std::vector<std::string_view> subKeyNames;  // scratch for the registry calls' subkey paths
  std::shared_ptr<RegKey> WalkKeyPath(std::string_view path, bool create);
  // Every change of a key's values or subkeys: the spooler's indexes follow them.
  void SetRegValue(RegKey& key, std::string_view name, DWORD type, std::string_view data);
  bool DeleteRegValue(RegKey& key, std::string_view name);
  void ClearRegValues(RegKey& key);
  // The key a handle stands for. HKEY_CURRENT_USER and HKEY_CLASSES_ROOT always exist on
  // Windows; when the machine lacks their key, a read sees an empty key and a write (create)
  // makes it, so that reading never changes the machine.
  // Returns ERROR_SUCCESS, ERROR_INVALID_HANDLE or ERROR_KEY_DELETED.
  LONG ResolveKey(HKEY key, std::shared_ptr<RegKey>& out, REGSAM* access = nullptr, bool create = false);
  std::shared_ptr<RegKey> emptyAlias = std::make_shared<RegKey>();
  static std::string KeyPath(const RegKey& key);
  std::string CanonicalKeyPath(std::string_view path);  // "" when the root is unknown
  // The full path of key\subKey, for fault matching ("" when the handle is unknown).
  std::string HandleKeyPath(HKEY key, const char* subKey);
  void DetachKey(const std::shared_ptr<RegKey>& key);  // marks it and everything below deleted

  // ---- file helpers
  std::string CurrentDirectory() const;
  // Parses a path as Windows does for an A function; returns ERROR_SUCCESS or the error.
  DWORD ParsePath(const char* name, ParsedPath& out, bool pattern = false) const;
  std::shared_ptr<FileNode> Drive(char letter) const;
  std::shared_ptr<FileNode> EnsureDrive(char letter);
  // Walks parts[0..count); ERROR_SUCCESS, or ERROR_PATH_NOT_FOUND when a level is missing or
  // is a file.
  DWORD WalkDirectory(const ParsedPath& p, std::size_t count, std::shared_ptr<FileNode>& dir) const;
  static std::shared_ptr<FileNode> Child(const FileNode& dir, std::string_view name);  // long or short name
  // The node a path names: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
  DWORD Lookup(const ParsedPath& p, std::shared_ptr<FileNode>& node, std::shared_ptr<FileNode>* parent = nullptr) const;
  // A caller's path parsed and looked up in one step.
  DWORD ParseAndLookup(const char* name, ParsedPath& p, std::shared_ptr<FileNode>& node) const;
  static std::string NodePath(const FileNode& node);
  std::string FullPath(const char* name) const;  // normalized full path, or the text itself
  std::shared_ptr<FileNode> AddNode(const std::shared_ptr<FileNode>& dir, std::string_view name, bool directory);
  // Gives node (not in dir yet) the short name Windows would generate for it in dir.
  void AssignShortName(FileNode& dir, FileNode& node);
  // Takes node out of its directory (it keeps its subtree), or puts it into dir.
  static void Unlink(FileNode& node);
  static void LinkInto(const std::shared_ptr<FileNode>& dir, const std::shared_ptr<FileNode>& node);
  bool OpenedWithout(const FileNode& node, DWORD share) const;  // an engine handle denies that sharing
  bool IsCurrentDirectory(const FileNode& node) const;
  DWORD ReadWholeFile(const std::string& path, std::string& contents);
  DWORD WriteWholeFile(const std::string& path, const std::string& contents);
  std::shared_ptr<FileNode> MachineNode(std::string_view path, bool create, bool directory);

  // ---- kernel handles
  HANDLE NewKernelHandle(KernelObject object);
  KernelObject* Kernel(HANDLE handle);
  BOOL CloseKernelHandle(HANDLE handle);

  // ---- services
  ServiceRecord& Service(std::string_view name);
  void MaybeRemoveService(const std::string& folded);
  bool MarkedForDelete(const ServiceRecord& r);
  // Moves a service to a state; reaching stopped releases the files it held and lets a
  // service marked for deletion go.
  void SetServiceRunState(ServiceRecord& r, DWORD state);
  // Held open by another program: locked, or held by a service that is not stopped.
  bool HeldOpen(const FileNode& node) const;
  void ReleaseFilesOf(const std::string& foldedService);
  void Reboot();

  // ---- windows
  std::shared_ptr<SimWindow> Window(HWND hwnd) const;  // live windows only
  // Records and delivers one message; the handler runs without the lock held.
  LRESULT Deliver(const std::shared_ptr<SimWindow>& w, UINT message, WPARAM wParam, LPARAM lParam, bool posted);

  // ---- other programs' windows and events
  // Carries out what virtual time and set events have brought about: windows whose delay has
  // passed close, windows whose event is set answer what they were sent.
  void SettleWindows();
  // A message for a program window; false when the window does not answer it (yet).
  bool ProgramMessage(const std::shared_ptr<SimWindow>& w, UINT message, WPARAM wParam, LPARAM lParam, bool posted,
                      LRESULT& result);
  void OnEventSet(SimEvent& event);
  std::string WindowName(const SimWindow& w) const;
  void Record(std::string line);
  // Removes the COM classes whose server key ("InprocServer32" or "LocalServer32") names the
  // file, with their ProgIDs and AppIDs; returns how many classes went.
  int UnregisterClassesOf(const std::string& path, const char* serverKey);

  // ---- faults
  // The error the call fails with, after counting it: the power is off and the call is a
  // changing one; a fault the call matches; or the storm drew it. A call that goes through
  // and can change the machine counts towards a cut. changes overrides the table's word on
  // whether the call can change the machine (CreateFileA: by its creation disposition).
  // call must be a name of the table (SimMachine::KnowsCall); another is a defect of the
  // simulation and aborts.
  std::optional<DWORD> FaultFor(std::string_view call, const std::vector<std::string>& objects,
                                std::optional<bool> changes = std::nullopt);
  // Power back, cut ended, counts started afresh: the restart's part.
  void PowerOn();

  // ---- clock
  SYSTEMTIME Now() const;
};

// The file an initialization-file call works on: a bare name lives in the Windows directory;
// a null name is WIN.INI.
std::string IniFilePath(const SystemSettings& settings, const char* file);

// Text helpers shared by the parts.
std::string HexBytes(std::string_view bytes);
// Copies text and a terminating zero when it fits; the directory calls' rule: the length
// without the zero when it fits, else the size needed with the zero.
DWORD CopyOut(std::string_view text, char* buffer, DWORD cchBuffer);

}  // namespace qx::sim
