// Facets whose simulation has not been built yet. Every call fails the way Windows fails a
// call that this machine cannot serve (ERROR_CALL_NOT_IMPLEMENTED, or RPC_S_SERVER_UNAVAILABLE
// for the spooler), so an engine that reaches them sees a failure, never a false success.
#pragma once
#include "platform/platform.h"

namespace qx::sim {

class UnbuiltSpooler : public Spooler {
 public:
  explicit UnbuiltSpooler(System& system) : system_(system) {}

 private:
  [[maybe_unused]] System& system_;  // for SetLastError
};

class UnbuiltDde : public Dde {
 public:
  explicit UnbuiltDde(System& system) : system_(system) {}

 private:
  [[maybe_unused]] System& system_;
};

class UnbuiltModules : public Modules {
 public:
  explicit UnbuiltModules(System& system) : system_(system) {}

 private:
  [[maybe_unused]] System& system_;
};

class UnbuiltShutdown : public Shutdown {
 public:
  explicit UnbuiltShutdown(System& system) : system_(system) {}

 private:
  [[maybe_unused]] System& system_;
};

class UnbuiltWebAdmin : public WebAdmin {
 public:
  explicit UnbuiltWebAdmin(System& system) : system_(system) {}

 private:
  [[maybe_unused]] System& system_;
};

}  // namespace qx::sim
