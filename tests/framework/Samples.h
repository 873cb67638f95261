// Sample classes for the framework tests: a component with a property of every kind, and a
// root to read forms into.
#pragma once

#include <string>
#include <vector>

#include "platform/framework/Component.h"

namespace samples {

enum TColour : uint8_t { clRed, clGreen, clBlue };

class TSample : public platform::TComponent {
 public:
  explicit TSample(platform::TComponent* owner) : TComponent(owner) {}

  static const platform::TClassInfo& StaticClass() {
    using P = platform::Published<TSample>;
    static const platform::TClassInfo info{
        .Name = "TSample",
        .Parent = &TComponent::StaticClass(),
        .Create = [](TComponent* owner) { return new TSample(owner); },
        .Properties = {
            P::Class("Link", "TObject"),
            P::Integer("Count", &TSample::GetCount, &TSample::SetCount, 5),
            P::Boolean("Enabled", &TSample::GetEnabled, &TSample::SetEnabled, true),
            P::Enumeration<TColour>("Colour", "TColour", &TSample::GetColour, &TSample::SetColour,
                                    {"clRed", "clGreen", "clBlue"}, clGreen),
            P::String("Caption", &TSample::GetCaption, &TSample::SetCaption),
            P::String("Title", &TSample::GetTitle, &TSample::SetTitle, false),
            P::Integer("Always", &TSample::GetAlways, &TSample::SetAlways, std::nullopt),
        }};
    return info;
  }
  const platform::TClassInfo& ClassType() const override { return StaticClass(); }

  void Loaded() override {
    if (log) log->push_back(GetName() + " loaded, Count " + std::to_string(count));
  }

  int32_t GetCount() const { return count; }
  void SetCount(int32_t v) { count = v; }
  bool GetEnabled() const { return enabled; }
  void SetEnabled(bool v) { enabled = v; }
  TColour GetColour() const { return colour; }
  void SetColour(TColour v) { colour = v; }
  std::string GetCaption() const { return caption; }
  void SetCaption(const std::string& v) { caption = v; }
  std::string GetTitle() const { return title; }
  void SetTitle(const std::string& v) { title = v; }
  int32_t GetAlways() const { return always; }
  void SetAlways(int32_t v) { always = v; }

  int32_t count = 5;
  bool enabled = true;
  TColour colour = clGreen;
  std::string caption;
  std::string title = "Untitled";
  int32_t always = 0;
  std::vector<std::string>* log = nullptr;
};

class TSampleForm : public platform::TComponent {
 public:
  explicit TSampleForm(platform::TComponent* owner) : TComponent(owner) {}
  static const platform::TClassInfo& StaticClass() {
    static const platform::TClassInfo info{.Name = "TSampleForm",
                                           .Parent = &TComponent::StaticClass()};
    return info;
  }
  const platform::TClassInfo& ClassType() const override { return StaticClass(); }
};

}  // namespace samples
