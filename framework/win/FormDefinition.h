#pragma once
// Form definitions applied to components: creates the components a definition
// names (by registered class), sets their published properties, binds event
// handlers by method name to the definition's root (its published methods),
// fixes up component references once everything exists, then runs Loaded on
// every component read (the root last).
//
// The root's components are owned by the root in definition order, so
// root->Components(i) iterates them by name in that order.
#include <string>
#include <string_view>
#include <vector>

#include "core/Component.h"
#include "win/FormReader.h"

// A part of a definition left out when its root was read, to be read when the
// root first needs it: an object with everything nested in it, and the name of
// the component it nests in (empty: the root itself).
struct TDeferredFormPart {
  std::string parentName;
  TFormObject object;
};

// Reads text into root (its class must be the definition's class or derive
// from it). Raises EFormError naming the line and the component and property
// at fault; the components made so far stay owned by root. The objects named
// in defer are left out with all they hold and returned in definition order;
// a reference to one of them from the rest is an error like any unknown name.
std::vector<TDeferredFormPart> ReadFormDefinition(TComponent* root, std::string_view text,
                                                  const std::vector<std::string>& defer = {});
// Reads the RCDATA resource named resourceName of the executable into root;
// false (nothing read) when there is no such resource. What defer names is
// left out as ReadFormDefinition says and appended to deferred.
bool LoadFormDefinitionResource(TComponent* root, const std::string& resourceName,
                                const std::vector<std::string>& defer = {},
                                std::vector<TDeferredFormPart>* deferred = nullptr);
// Reads a part left out of root's definition as the whole definition would
// have read it: its components owned by root, nested in the component its
// parent names, events bound to root's methods, references to root's
// components resolved, Loaded run on each new one. Returns the part's
// component; no window is made while it is read (the caller asks for them).
// Raises EFormError as ReadFormDefinition does (also when the parent is
// gone); what was made before the fault stays owned by root.
TComponent* ReadFormPart(TComponent* root, const TDeferredFormPart& part);
// Writes root and its owned components as a definition, every published
// property with its current value. Events are written by the name of the
// root's method they call when that method was once bound by name, "nil" when
// empty; a handler that cannot be named (another object's) is left out.
std::string WriteFormDefinition(TComponent* root);
