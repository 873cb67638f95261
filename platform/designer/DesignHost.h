// A stand-in for the development environment: it loads package libraries, runs their
// units' Register procedures, keeps the registrations in the order made, and makes the
// property editor registered for a property of the selected components.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/designer/Designer.h"

namespace platform {

struct TRegistration {
  enum Kind { PropertyEditor, Components };
  Kind kind = Components;
  // Components: the palette page and the classes.
  std::string page{};
  std::vector<const TClassInfo*> classes{};
  // PropertyEditor: what it serves, and the editor class.
  std::string propertyType{};
  const TClassInfo* componentClass = nullptr;
  std::string propertyName{};
  TPropertyEditorClass editor{};
};

struct TPackageResourceCopy {
  std::string type;
  std::string name;
  std::string data;
};

struct TLoadedPackage {
  std::string name;
  std::string description;
  bool designTime = false;
  bool runTime = false;
  std::vector<std::string> required;
  std::vector<std::string> units;
  std::vector<TPackageResourceCopy> resources;
  // The resource of that type and name, or null.
  const TPackageResourceCopy* Resource(const std::string& type, const std::string& name) const;
};

class DesignHost : public Registrar {
 public:
  DesignHost() = default;
  // Drops the registrations first: their editors' code lives in the libraries.
  ~DesignHost() override;
  DesignHost(const DesignHost&) = delete;
  DesignHost& operator=(const DesignHost&) = delete;

  // Loads a package library and calls its units' Register procedures in the package's order.
  // Raises std::runtime_error when it cannot be loaded or is no package; an error raised by
  // a Register procedure propagates, the registrations before it kept.
  const TLoadedPackage& LoadPackage(const std::string& path);
  // Calls one Register procedure linked into the program.
  void CallRegister(void (*procedure)());

  const std::vector<TRegistration>& Registrations() const { return registrations_; }

  // The editor of property `name` for the selection (components that all have it), or
  // null: no such property; or several selected and the editor does not serve several.
  // The last editor registered for the property wins; without one, strings get the host's
  // string editor.
  std::unique_ptr<TPropertyEditor> CreateEditor(const std::vector<TComponent*>& selection,
                                                const std::string& name) const;

  void RegisterComponents(const std::string& page,
                          const std::vector<const TClassInfo*>& classes) override;
  void RegisterPropertyEditor(const std::string& propertyType, const TClassInfo* componentClass,
                              const std::string& propertyName,
                              const TPropertyEditorClass& editorClass) override;

 private:
  std::vector<TRegistration> registrations_;
  std::deque<TLoadedPackage> packages_;
  std::vector<void*> libraries_;
};

}  // namespace platform
