#include "platform/framework/FormFile.h"

#include <gtest/gtest.h>

#include <climits>

#include "Samples.h"

using namespace platform;
using namespace std::string_literals;
using samples::TSample;
using samples::TSampleForm;

namespace {

const std::vector<const TClassInfo*> kClasses = {&TSample::StaticClass()};

// The error a read raises, or "" when it succeeds.
std::string ReadError(std::string_view text, TComponent& root) {
  try {
    ReadComponent(text, root, kClasses);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "";
}

TEST(FormWriter, WritesStoredPropertiesInDeclarationOrderThenOwnedObjects) {
  TSampleForm form(nullptr);
  form.SetName("Form1");
  auto* first = new TSample(&form);
  first->SetName("First");
  auto* second = new TSample(&form);  // unnamed, all at defaults but the string without one
  second->SetTitle("");
  first->SetTag(-7);
  first->SetCount(-1);
  first->SetEnabled(false);
  first->SetColour(samples::clRed);
  first->SetCaption("It's");
  EXPECT_EQ(WriteComponent(form),
            "object Form1: TSampleForm\n"
            "  object First: TSample\n"
            "    Tag = -7\n"
            "    Count = -1\n"
            "    Enabled = False\n"
            "    Colour = clRed\n"
            "    Caption = 'It''s'\n"
            "    Title = 'Untitled'\n"
            "    Always = 0\n"
            "  end\n"
            "  object TSample\n"
            "    Title = ''\n"
            "    Always = 0\n"
            "  end\n"
            "end\n");
}

TEST(FormWriter, EncodesQuotesControlAndHighBytesAndSplitsLongStrings) {
  TSample s(nullptr);
  s.SetCaption("a'b\r\n\x7f\xe9\0z"s);
  s.SetTitle(std::string(64, 'x') + "'" + std::string(64, 'y') + "\t");
  EXPECT_EQ(WriteComponent(s),
            "object TSample\n"
            "  Caption = 'a''b'#13#10#127#233#0'z'\n"
            "  Title =\n"
            "    '" +
                std::string(64, 'x') +
                "' +\n"
                "    '''" +
                std::string(63, 'y') +
                "' +\n"
                "    'y'#9\n"
                "  Always = 0\n"
                "end\n");
}

TEST(FormReader, RoundTripsEveryKindOfValue) {
  std::string allBytes;
  for (int c = 0; c < 256; ++c) allBytes += static_cast<char>(c);
  struct Case {
    int32_t count;
    bool enabled;
    samples::TColour colour;
    std::string caption, title;
  } cases[] = {
      {INT_MIN, false, samples::clRed, allBytes + "''" + allBytes, ""},
      {INT_MAX, true, samples::clBlue, "", "C:\\"},
      {0, false, samples::clGreen, "#13'+'", std::string(300, '\'')},
      {-1, true, static_cast<samples::TColour>(200), " lead and trail ", "x"},
  };
  for (const Case& c : cases) {
    TSampleForm form(nullptr);
    auto* s = new TSample(&form);
    s->SetName("S");
    s->SetTag(c.count);
    s->SetCount(c.count);
    s->SetEnabled(c.enabled);
    s->SetColour(c.colour);
    s->SetCaption(c.caption);
    s->SetTitle(c.title);
    s->SetAlways(-c.count - 1);
    const std::string text = WriteComponent(form);

    TSampleForm loaded(nullptr);
    ReadComponent(text, loaded, kClasses);
    ASSERT_EQ(loaded.ComponentCount(), 1);
    auto* r = static_cast<TSample*>(loaded.Components(0));
    EXPECT_EQ(r->GetName(), "S");
    EXPECT_EQ(r->GetTag(), c.count);
    EXPECT_EQ(r->GetCount(), c.count);
    EXPECT_EQ(r->GetEnabled(), c.enabled);
    EXPECT_EQ(r->GetColour(), c.colour);
    EXPECT_EQ(r->GetCaption(), c.caption);
    EXPECT_EQ(r->GetTitle(), c.title);
    EXPECT_EQ(r->GetAlways(), -c.count - 1);
    EXPECT_EQ(WriteComponent(loaded), text);
  }
}

TEST(FormReader, ReadsWhatAPersonMightWrite) {
  TSampleForm form(nullptr);
  ReadComponent(
      "object Main: TSampleForm\r\n"
      "  Tag = 3\r\n"
      "  object s: TSample\r\n"
      "    count = 12\r\n"
      "    COLOUR = CLBLUE\r\n"
      "    Enabled = true\r\n"
      "    Caption = 'one'#32'two' +\r\n"
      "\r\n"
      "      ' three'+'!'\r\n"
      "  END\r\n"
      "End\r\n",
      form, kClasses);
  EXPECT_EQ(form.GetName(), "Main");
  EXPECT_EQ(form.GetTag(), 3);
  auto* s = static_cast<TSample*>(form.FindComponent("S"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetCount(), 12);
  EXPECT_EQ(s->GetColour(), samples::clBlue);
  EXPECT_EQ(s->GetCaption(), "one two three!");
  EXPECT_EQ(s->GetTitle(), "Untitled");  // absent: the constructor's value stays
}

TEST(FormReader, SkipsObjectsOfUnknownClassesWithEverythingInside) {
  TSampleForm form(nullptr);
  ReadComponent(R"(object Form1: TSampleForm
  object Panel1: TPanel
    Font.Style = [fsBold, fsItalic]
    Items.Strings = (
      'a'
      'b')
    Columns = <
      item
        Width = 1.5e3
      end>
    Picture.Data = {0A0B 0c}
    NoSuchProperty = Whatever
    object Inner: TSample
      Count = 1
    end
  end
  object Kept: TSample
    Count = 2
  end
end
)",
                form, kClasses);
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0)->GetName(), "Kept");
}

TEST(FormReader, NestedObjectsBelongToTheRootAndAreLoadedOnceAllIsRead) {
  std::vector<std::string> log;
  TSample root(nullptr);
  root.log = &log;
  const TClassInfo logging{
      .Name = "TSample", .Parent = &TSample::StaticClass(), .Create = [&](TComponent* owner) {
        auto* s = new TSample(owner);
        s->log = &log;
        return s;
      }};
  ReadComponent(
      "object Root: TSample\n  Count = 1\n"
      "  object A: TSample\n    Count = 2\n"
      "    object B: TSample\n      Count = 3\n    end\n"
      "  end\n"
      "end\n",
      root, {&logging});
  EXPECT_EQ(log, (std::vector<std::string>{"Root loaded, Count 1", "A loaded, Count 2",
                                           "B loaded, Count 3"}));
  ASSERT_EQ(root.ComponentCount(), 2);
  EXPECT_EQ(root.Components(1)->GetName(), "B");
  EXPECT_EQ(root.Components(1)->GetOwner(), &root);
}

TEST(FormReader, AFaultNamesItsLineAndChangesNothing) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"object F: TSampleForm\n  object S: TSample\n    Count = 1\n    Colour = clRed\n"
       "    Colur = clBlue\n  end\nend\n",
       "line 5: unknown property Colur of TSample"},
      {"object F: TSampleForm\n  Count = 1\nend\n",
       "line 2: unknown property Count of TSampleForm"},
      {"object F: TSampleForm\n object S: TSample\n  Link = nil\n end\nend",
       "line 3: property Link of TSample is not read from a form file"},
      {"object F: TSampleForm\n object S: TSample\n  Name = 'X'\n end\nend",
       "line 3: property Name of TSample is not read from a form file"},
      {"object F: TSampleForm\n object S: TSample\n  Count = 2147483648\n end\nend",
       "line 3: 2147483648 is out of range for Count"},
      {"object F: TSampleForm\n object S: TSample\n  Colour = 256\n end\nend",
       "line 3: 256 is out of range for Colour"},
      {"object F: TSampleForm\n object S: TSample\n  Colour = clPink\n end\nend",
       "line 3: clPink is not a TColour value"},
      {"object F: TSampleForm\n object S: TSample\n  Enabled = Yes\n end\nend",
       "line 3: Yes is not a Boolean value"},
      {"object F: TSampleForm\n object S: TSample\n  Count = '1'\n end\nend",
       "line 3: Count takes a value of type Integer"},
      {"object F: TSampleForm\n object S: TSample\n end\n object s: TSample\n end\nend",
       "line 4: a component named s already exists"},
      // Every object read is owned by the root, however deep it is in the file.
      {"object F: TSampleForm\n object A: TSample\n  object a: TSample\n  end\n end\nend",
       "line 3: a component named a already exists"},
      {"object F: TSampleForm\n object A: TSample\n  object B: TSample\n  end\n end\n"
       " object B: TSample\n end\nend",
       "line 6: a component named B already exists"},
      {"object F: TSampleForm\n object P: TPanel\n end\n object A: TSample\n end\n"
       " object A: TSample\n end\nend",
       "line 6: a component named A already exists"},
      {"object F: TSample\nend", "line 1: the form holds a TSample, not a TSampleForm"},
      {"object F: TSampleForm\n object S: TSample\n  Caption = 'abc\n end\nend",
       "line 3: unterminated string"},
      {"object F: TSampleForm\n object S: TSample\n  Caption = 'a' +\n end\nend",
       "line 4: expected a string after '+'"},
      {"object F: TSampleForm\n object S: TSample\n  Caption = #256\n end\nend",
       "line 3: character code out of range (0 to 255)"},
      {"object F: TSampleForm\n object S: TSample\n  Count 1\n end\nend",
       "line 3: expected '=' after Count"},
      {"object F: TSampleForm\n object S: TSample\n  Count = 1\n",
       "line 4: expected a property, an object or 'end'"},
      {"object F: TSampleForm\nend\nend\n", "line 3: text after the end of the outer object"},
      {"object F: TSampleForm\n\x01\nend\n", "line 2: unexpected character #1"},
      {"", "line 1: expected 'object'"},
      {"object 1F: TSampleForm\nend", "line 1: expected a name"},
      {"object F.G: TSampleForm\nend", "line 1: 'F.G' is not a name"},
  };
  for (const Case& c : cases) {
    TSampleForm form(nullptr);
    auto* kept = new TSample(&form);
    kept->SetName("Kept");
    const std::string before = WriteComponent(form);
    EXPECT_EQ(ReadError(c.text, form), c.error) << c.text;
    EXPECT_EQ(WriteComponent(form), before) << c.text;
    EXPECT_EQ(form.ComponentCount(), 1) << c.text;
  }
}

TEST(FormReader, RefusesANameAlreadyInUseAndNestingBeyondItsLimit) {
  TSampleForm form(nullptr);
  (new TSample(&form))->SetName("Taken");
  EXPECT_EQ(ReadError("object F: TSampleForm\n object TAKEN: TSample\n end\nend", form),
            "line 2: a component named TAKEN already exists");

  std::string deep = "object F: TSampleForm\n";
  for (int i = 0; i < 100; ++i) deep += "object TPanel\n";
  for (int i = 0; i < 101; ++i) deep += "end\n";
  EXPECT_EQ(ReadError(deep, form), "line 66: nested deeper than 64 levels");
  std::string list = "object F: TSampleForm\n X = " + std::string(100000, '(');
  EXPECT_EQ(ReadError(list, form), "line 2: nested deeper than 64 levels");
}

TEST(FormReader, NamesOfSkippedObjectsAndOfTheRootAreNotAmongTheReadOnes) {
  TSampleForm form(nullptr);
  ReadComponent(
      "object F: TSampleForm\n"
      "  object P: TPanel\n    object A: TSample\n    end\n  end\n"
      "  object P: TSample\n  end\n"
      "  object A: TSample\n  end\n"
      "  object F: TSample\n  end\n"
      "end\n",
      form, kClasses);
  ASSERT_EQ(form.ComponentCount(), 3);
  EXPECT_EQ(form.Components(0)->GetName(), "P");
  EXPECT_EQ(form.Components(1)->GetName(), "A");
  EXPECT_EQ(form.Components(2)->GetName(), "F");
  EXPECT_EQ(form.GetName(), "F");
}

// The error ReadComponents raises, or the names of what it created, in order.
std::string FoundOrError(std::string_view text, TComponent& owner) {
  try {
    std::string names;
    for (TComponent* c : ReadComponents(text, owner, kClasses)) {
      EXPECT_EQ(c->GetOwner(), &owner);
      names += c->GetName() + ";";
    }
    return names;
  } catch (const EReadError& e) {
    return e.what();
  }
}

TEST(FormReader, FindsKnownObjectsAnywhereAndRefusesTwoOfOneName) {
  struct Case {
    const char* text;
    const char* result;
    int32_t owned = 1;  // by the owner afterwards, "Kept" included: a fault creates nothing
  } cases[] = {
      {"object A: TSample\n"
       "  object P: TPanel\n    object B: TSample\n    end\n  end\n"
       "  object P: TSample\n  end\n"
       "  object TSample\n  end\n  object TSample\n  end\n"
       "end\n",
       "A;B;P;;;", 6},
      {"object Form1: TForm\n object A: TSample\n end\n object a: TSample\n end\nend",
       "line 4: a component named a already exists"},
      {"object A: TSample\n object A: TSample\n end\nend",
       "line 2: a component named A already exists"},
      {"object F: TForm\n object P: TPanel\n  object A: TSample\n  end\n end\n"
       " object A: TSample\n end\nend",
       "line 6: a component named A already exists"},
      {"object F: TForm\n object A: TPanel\n end\n object B: TSample\n end\n"
       " object B: TSample\n end\nend",
       "line 6: a component named B already exists"},
      {"object F: TForm\n object KEPT: TSample\n end\nend",
       "line 2: a component named KEPT already exists"},
  };
  for (const Case& c : cases) {
    TComponent owner(nullptr);
    (new TSample(&owner))->SetName("Kept");
    EXPECT_EQ(FoundOrError(c.text, owner), c.result) << c.text;
    EXPECT_EQ(owner.ComponentCount(), c.owned) << c.text;
  }
}

}  // namespace
