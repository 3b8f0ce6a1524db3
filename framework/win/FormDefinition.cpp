#include "win/FormDefinition.h"

#include <windows.h>

#include <map>

#include "core/ClassRegistry.h"
#include "core/Format.h"
#include "core/PublishedMethods.h"
#include "core/Strings.h"
#include "core/SysUtils.h"
#include "win/ClassInfo.h"
#include "win/Controls.h"
#include "win/graphics/Types.h"

namespace {

struct CursorName {
  const char* name;
  TCursor id;
};

const CursorName kCursorNames[] = {
    {"crDefault", crDefault},   {"crNone", crNone},         {"crArrow", crArrow},         {"crCross", crCross},
    {"crIBeam", crIBeam},       {"crSizeNESW", crSizeNESW}, {"crSizeNS", crSizeNS},       {"crSizeNWSE", crSizeNWSE},
    {"crSizeWE", crSizeWE},     {"crUpArrow", crUpArrow},   {"crHourGlass", crHourGlass}, {"crDrag", crDrag},
    {"crNoDrop", crNoDrop},     {"crHSplit", crHSplit},     {"crVSplit", crVSplit},       {"crMultiDrag", crMultiDrag},
    {"crSQLWait", crSQLWait},   {"crNo", crNo},             {"crAppStart", crAppStart},   {"crHelp", crHelp},
    {"crHandPoint", crHandPoint}, {"crSizeAll", crSizeAll},
};

std::string Utf8ToAnsi(const std::string& text) { return WideToAnsi(Utf8ToUtf16(text)); }

// The names of methods bound by name so far, by their code (one thunk per
// method), so a written definition can name the handlers again.
std::map<void (*)(), std::string>& BoundMethodNames() {
  static auto* names = new std::map<void (*)(), std::string>;
  return *names;
}

struct Fixup {
  TObject* object;
  const TPropInfo* prop;
  std::string target;
  int line;
};

class Loader {
public:
  explicit Loader(TComponent* root_, const std::vector<std::string>* defer_ = nullptr) : root(root_), defer(defer_) {}

  std::vector<TDeferredFormPart> deferred;

  TComponent* ReadPart(const TDeferredFormPart& part) {
    TComponent* parent = part.parentName.empty() ? root : root->FindComponent(part.parentName);
    if (parent == nullptr)
      Fail(part.object.line, part.object.name, Format("Component %s not found", {part.parentName}));
    const size_t first = created.size();
    CreateChild(parent, part.object);
    ResolveFixups();
    for (size_t i = first; i < created.size(); ++i) created[i]->Loaded();
    return created[first];
  }

  void Read(const TFormObject& def) {
    const TClassInfo* declared = FindClassInfo(def.className);
    bool fits = SameText(def.className, root->ClassName()) || (declared != nullptr && declared->isInstance(root));
    if (!fits)
      throw EFormError(Format("Line %d: The definition is of class %s, not %s", {def.line, def.className,
                                                                                 std::string(root->ClassName())}));
    root->SetComponentState(csLoading, true);
    if (!def.name.empty() && root->Name() != def.name) NameRoot(def.name);
    Apply(root, root->Name(), def.properties);
    for (const TFormObject& child : def.children) CreateChild(root, child);
    ResolveFixups();
    for (TComponent* c : created) c->Loaded();
    root->Loaded();
  }

private:
  // A second form of the same class beside the first gets name_1, name_2...
  void NameRoot(const std::string& name) {
    TComponent* owner = root->Owner();
    std::string candidate = name;
    for (int n = 1; owner != nullptr && owner->FindComponent(candidate) != nullptr; ++n)
      candidate = name + "_" + std::to_string(n);
    root->SetName(candidate);
  }

  [[noreturn]] void Fail(int line, const std::string& where, const std::string& what) {
    throw EFormError(Format("Line %d: %s: %s", {line, where, what}));
  }

  bool Deferred(const std::string& name) const {
    if (defer == nullptr) return false;
    for (const std::string& d : *defer)
      if (SameText(d, name)) return true;
    return false;
  }

  void CreateChild(TComponent* parent, const TFormObject& def) {
    if (Deferred(def.name)) {
      deferred.push_back({parent == root ? std::string() : parent->Name(), def});
      return;
    }
    TComponent* comp = NewComponent(def);
    comp->SetComponentState(csLoading, true);
    created.push_back(comp);
    try {
      comp->SetName(def.name);
    } catch (const Exception& e) {
      Fail(def.line, def.name, e.Message());
    }
    if (const TClassInfo* parentInfo = ClassInfoOf(parent)) {
      if (auto* add = parentInfo->FindAddChild()) (*add)(parent, comp);
    }
    Apply(comp, def.name, def.properties);
    for (const TFormObject& child : def.children) CreateChild(comp, child);
  }

  // A component of the definition's class: from the property tables, else from
  // the persistent classes registered with the core (properties then need a table).
  TComponent* NewComponent(const TFormObject& def) {
    const TClassInfo* info = FindClassInfo(def.className);
    if (info != nullptr && info->create) return info->create(root);
    if (const TPersistentClass* other = GetPersistentClass(def.className); other != nullptr && other->create) {
      TPersistent* obj = other->create(root);
      if (auto* comp = dynamic_cast<TComponent*>(obj)) return comp;
      obj->Free();
    }
    Fail(def.line, def.name, Format("Class %s not found", {def.className}));
  }

  void Apply(TObject* target, const std::string& where, const std::vector<TFormProperty>& props) {
    for (const TFormProperty& p : props) {
      std::string place = where + "." + p.path;
      try {
        ApplyOne(target, p);
      } catch (const EFormError&) {
        throw;
      } catch (const std::exception& e) {
        Fail(p.line, place, e.what());
      }
    }
  }

  void ApplyOne(TObject* target, const TFormProperty& p) {
    TObject* cur = target;
    std::string_view path = p.path;
    while (true) {
      size_t dot = path.find('.');
      std::string_view part = path.substr(0, dot);
      const TPropInfo* info = GetPropInfo(cur, part);
      if (info == nullptr) throw EPropertyError(Format("Property %s does not exist", {std::string(part)}));
      if (dot == std::string_view::npos) {
        SetValue(cur, *info, p.value);
        return;
      }
      if (info->kind != pkObject && info->kind != pkStrings) throw EPropertyError("Invalid property path");
      cur = info->getObj(cur);
      if (cur == nullptr) throw EPropertyError("Invalid property path");
      path.remove_prefix(dot + 1);
    }
  }

  static void Need(const TFormValue& v, TFormValue::Kind kind) {
    if (v.kind != kind) throw EPropertyError("Invalid property value");
  }

  void SetValue(TObject* obj, const TPropInfo& prop, const TFormValue& v) {
    switch (prop.kind) {
      case pkInteger:
        Need(v, TFormValue::vkInteger);
        prop.setOrd(obj, v.integer);
        return;
      case pkBool:
        Need(v, TFormValue::vkIdent);
        if (SameText(v.text, "True")) prop.setOrd(obj, 1);
        else if (SameText(v.text, "False")) prop.setOrd(obj, 0);
        else throw EPropertyError("Invalid property value");
        return;
      case pkEnum: {
        Need(v, TFormValue::vkIdent);
        int ord = EnumOrdinal(*prop.enumNames, v.text);
        if (ord < 0) throw EPropertyError(Format("Invalid property value %s", {v.text}));
        prop.setOrd(obj, ord);
        return;
      }
      case pkSet: {
        Need(v, TFormValue::vkSet);
        int64_t mask = 0;
        for (const std::string& name : v.names) {
          int ord = EnumOrdinal(*prop.enumNames, name);
          if (ord < 0 || ord > 62) throw EPropertyError(Format("Invalid set element %s", {name}));
          mask |= int64_t{1} << ord;
        }
        prop.setOrd(obj, mask);
        return;
      }
      case pkColor: {
        if (v.kind == TFormValue::vkInteger) {
          prop.setOrd(obj, static_cast<TColor>(v.integer));
          return;
        }
        Need(v, TFormValue::vkIdent);
        TColor color = 0;
        if (!StringToColor(v.text, color)) throw EPropertyError(Format("Invalid colour %s", {v.text}));
        prop.setOrd(obj, color);
        return;
      }
      case pkCursor: {
        if (v.kind == TFormValue::vkInteger) {
          prop.setOrd(obj, v.integer);
          return;
        }
        Need(v, TFormValue::vkIdent);
        for (const CursorName& c : kCursorNames)
          if (SameText(c.name, v.text)) {
            prop.setOrd(obj, c.id);
            return;
          }
        throw EPropertyError(Format("Invalid cursor %s", {v.text}));
      }
      case pkFloat:
        if (v.kind == TFormValue::vkInteger) prop.setFloat(obj, static_cast<double>(v.integer));
        else if (v.kind == TFormValue::vkFloat) prop.setFloat(obj, v.real);
        else throw EPropertyError("Invalid property value");
        return;
      case pkString:
        Need(v, TFormValue::vkString);
        prop.setStr(obj, Utf8ToAnsi(v.text));
        return;
      case pkWideString:
        Need(v, TFormValue::vkString);
        prop.setWide(obj, Utf8ToUtf16(v.text));
        return;
      case pkStrings: {
        Need(v, TFormValue::vkList);
        auto* strings = dynamic_cast<TStrings*>(prop.getObj(obj));
        if (strings == nullptr) throw EPropertyError("Invalid property value");
        strings->BeginUpdate();
        try {
          strings->Clear();
          for (const TFormValue& line : v.list) {
            Need(line, TFormValue::vkString);
            strings->Add(Utf8ToAnsi(line.text));
          }
        } catch (...) {
          strings->EndUpdate();
          throw;
        }
        strings->EndUpdate();
        return;
      }
      case pkComponent:
        Need(v, TFormValue::vkIdent);
        if (SameText(v.text, "nil")) {
          prop.setComponent(obj, nullptr);
          return;
        }
        fixups.push_back(Fixup{obj, &prop, v.text, v.line});
        return;
      case pkMethod:
        Need(v, TFormValue::vkIdent);
        if (SameText(v.text, "nil")) {
          prop.setMethod(obj, TMethod{});
          return;
        }
      {
        TMethod method = BindMethod(root, v.text);
        prop.setMethod(obj, method);
        BoundMethodNames()[method.code] = v.text;
        return;
      }
      case pkCollection:
        Need(v, TFormValue::vkCollection);
        prop.clearItems(obj);
        for (const auto& item : v.items) {
          TObject* added = prop.addItem(obj);
          Apply(added, prop.name, item);
        }
        return;
      case pkBinary:
        Need(v, TFormValue::vkBinary);
        prop.setBinary(obj, v.bytes);
        return;
      case pkObject: throw EPropertyError("Set the properties of this object one by one");
      case pkDefined:
        prop.readDefined(obj, v);
        return;
    }
  }

  void ResolveFixups() {
    for (const Fixup& f : fixups) {
      TComponent* target = SameText(root->Name(), f.target) ? root : root->FindComponent(f.target);
      if (target == nullptr) Fail(f.line, f.prop->name, Format("Component %s not found", {f.target}));
      try {
        f.prop->setComponent(f.object, target);
      } catch (const std::exception& e) {
        Fail(f.line, f.prop->name, e.what());
      }
    }
  }

  TComponent* root;
  const std::vector<std::string>* defer;
  std::vector<TComponent*> created;
  std::vector<Fixup> fixups;
};

// ---------------------------------------------------------------------------
// Writing

class Writer {
public:
  std::string Write(TComponent* root_) {
    root = root_;
    WriteObject(root, 0);
    return out;
  }

private:
  void Indent(int depth) { out.append(static_cast<size_t>(depth) * 2, ' '); }

  void WriteObject(TComponent* comp, int depth) {
    const TClassInfo* info = ClassInfoOf(comp);
    Indent(depth);
    out += std::string(comp->ClassName()) + " " + comp->Name() + " {\n";
    if (info != nullptr) WriteProps(comp, info, "", depth + 1);
    for (int i = 0; i < root->ComponentCount(); ++i) {
      TComponent* child = root->Components(i);
      if (ParentOf(child) == comp) WriteObject(child, depth + 1);
    }
    Indent(depth);
    out += "}\n";
  }

  // The component a definition nests child in: what its class says (the parent
  // control, the parent menu item...), else the root.
  TComponent* ParentOf(TComponent* child) {
    const TClassInfo* info = ClassInfoOf(child);
    const auto* parentOf = info != nullptr ? info->FindParentOf() : nullptr;
    TComponent* parent = parentOf != nullptr ? (*parentOf)(child) : nullptr;
    return parent != nullptr && parent->Owner() == root ? parent : root;
  }

  void WriteProps(TObject* obj, const TClassInfo* info, const std::string& prefix, int depth) {
    for (const TPropInfo* p : info->AllProps()) {
      if (p->stored && !p->stored(obj)) continue;
      if (p->kind == pkObject) {
        TObject* sub = p->getObj(obj);
        if (const TClassInfo* subInfo = ClassInfoOf(sub)) WriteProps(sub, subInfo, prefix + p->name + ".", depth);
        continue;
      }
      std::string value = ValueText(obj, *p, depth);
      if (value.empty()) continue;
      Indent(depth);
      out += prefix + p->name + " = " + value + ";\n";
    }
  }

  std::string ValueText(TObject* obj, const TPropInfo& p, int depth) {
    switch (p.kind) {
      case pkInteger: return std::to_string(p.getOrd(obj));
      case pkBool: return p.getOrd(obj) ? "True" : "False";
      case pkEnum: return EnumName(*p.enumNames, p.getOrd(obj));
      case pkSet: {
        int64_t mask = p.getOrd(obj);
        std::string s = "[";
        for (size_t i = 0; i < p.enumNames->size(); ++i)
          if (mask & (int64_t{1} << i)) s += (s.size() > 1 ? ", " : "") + (*p.enumNames)[i];
        return s + "]";
      }
      case pkColor: return ColorToString(static_cast<TColor>(p.getOrd(obj)));
      case pkCursor: {
        int64_t id = p.getOrd(obj);
        for (const CursorName& c : kCursorNames)
          if (c.id == id) return c.name;
        return std::to_string(id);
      }
      case pkFloat: return Format("%g", {p.getFloat(obj)});
      case pkString: return QuoteFormString(Utf16ToUtf8(AnsiToWide(p.getStr(obj))));
      case pkWideString: return QuoteFormString(Utf16ToUtf8(p.getWide(obj)));
      case pkStrings: {
        auto* strings = dynamic_cast<TStrings*>(p.getObj(obj));
        std::string s = "(";
        for (int i = 0; strings != nullptr && i < strings->Count(); ++i)
          s += (i ? ", " : "") + QuoteFormString(Utf16ToUtf8(AnsiToWide(strings->Strings(i))));
        return s + ")";
      }
      case pkComponent: {
        auto* c = dynamic_cast<TComponent*>(p.getObj(obj));
        return c != nullptr && !c->Name().empty() ? c->Name() : "nil";
      }
      case pkCollection: {
        std::string s = "<\n";
        int n = p.itemCount(obj);
        for (int i = 0; i < n; ++i) {
          TObject* item = p.itemAt(obj, i);
          std::string saved = std::move(out);
          out.clear();
          Indent(depth + 1);
          out += "item {\n";
          if (const TClassInfo* info = ClassInfoOf(item)) WriteProps(item, info, "", depth + 2);
          Indent(depth + 1);
          out += "}\n";
          s += out;
          out = std::move(saved);
        }
        std::string pad(static_cast<size_t>(depth) * 2, ' ');
        return s + pad + ">";
      }
      case pkMethod: {
        // Handlers of the root named when they were bound; others cannot be written.
        TMethod method = p.getMethod(obj);
        if (!method) return "nil";
        auto it = BoundMethodNames().find(method.code);
        if (it == BoundMethodNames().end() || method.data != static_cast<void*>(root)) return "";
        return it->second;
      }
      case pkBinary: {
        std::vector<uint8_t> bytes = p.getBinary(obj);
        static const char* hex = "0123456789ABCDEF";
        std::string s = "{";
        for (size_t i = 0; i < bytes.size(); ++i) {
          if (i % 32 == 0) s += "\n" + std::string(static_cast<size_t>(depth + 1) * 2, ' ');
          s += hex[bytes[i] >> 4];
          s += hex[bytes[i] & 15];
        }
        return s + "}";
      }
      default: return "";
    }
  }

  TComponent* root = nullptr;
  std::string out;
};

}  // namespace

std::vector<TDeferredFormPart> ReadFormDefinition(TComponent* root, std::string_view text,
                                                  const std::vector<std::string>& defer) {
  TFormObject def = ParseFormDefinition(text);
  Loader loader(root, &defer);
  loader.Read(def);
  return std::move(loader.deferred);
}

TComponent* ReadFormPart(TComponent* root, const TDeferredFormPart& part) { return Loader(root).ReadPart(part); }

bool LoadFormDefinitionResource(TComponent* root, const std::string& resourceName,
                                const std::vector<std::string>& defer, std::vector<TDeferredFormPart>* deferred) {
  std::u16string name = AnsiToWide(resourceName);
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(module, reinterpret_cast<LPCWSTR>(name.c_str()), reinterpret_cast<LPCWSTR>(RT_RCDATA));
  if (res == nullptr) return false;
  HGLOBAL data = LoadResource(module, res);
  const char* bytes = data != nullptr ? static_cast<const char*>(LockResource(data)) : nullptr;
  if (bytes == nullptr) return false;
  std::vector<TDeferredFormPart> parts =
      ReadFormDefinition(root, std::string_view(bytes, SizeofResource(module, res)), defer);
  if (deferred != nullptr)
    for (TDeferredFormPart& part : parts) deferred->push_back(std::move(part));
  return true;
}

std::string WriteFormDefinition(TComponent* root) { return Writer().Write(root); }
