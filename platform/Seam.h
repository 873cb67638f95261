// The seam between the system and one platform service: the process default, and an override
// that tests put in its place.
//
// The default is a plain function, `Default`, defined once per target OS by the service's
// backend file (<Service>Posix.cpp or <Service>Windows.cpp), which CMake alone chooses; so no
// caller carries an #ifdef. Each service declares its seam beside the service:
//
//   KeyStore& DefaultKeyStore();
//   using KeyStoreSeam = Seam<KeyStore, DefaultKeyStore>;
//   template <> KeyStore* KeyStoreSeam::override_;  // defined in Registry.cpp
//
// and defines the override in its own source file, `= nullptr`. An ordinary definition, not
// an inline template member (which the Linux loader makes one per process): each package
// library links its own copy of the platform and keeps its own overrides.
#pragma once

namespace platform {

template <typename Service, Service& (*Default)()>
class Seam {
 public:
  // The override in force, else the process default.
  static Service& Current() { return override_ ? *override_ : Default(); }

  // Puts a service in place of the current one for its lifetime. Scopes nest: each puts back
  // what it found. Not synchronised: set it before other threads use the service.
  class Scoped {
   public:
    explicit Scoped(Service& service) : Scoped(&service) {}
    // Null: the process default for the scope's lifetime.
    explicit Scoped(Service* service) : previous_(override_) { override_ = service; }
    ~Scoped() { override_ = previous_; }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

   private:
    Service* previous_;
  };

 private:
  static Service* override_;
};

}  // namespace platform
