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

#include "core/Component.h"
#include "win/FormReader.h"

// Reads text into root (its class must be the definition's class or derive
// from it). Raises EFormError naming the line and the component and property
// at fault; the components made so far stay owned by root.
void ReadFormDefinition(TComponent* root, std::string_view text);
// Reads the RCDATA resource named resourceName of the executable into root;
// false (nothing read) when there is no such resource.
bool LoadFormDefinitionResource(TComponent* root, const std::string& resourceName);
// Writes root and its owned components as a definition, every published
// property with its current value. Events are written by the name of the
// root's method they call when that method was once bound by name, "nil" when
// empty; a handler that cannot be named (another object's) is left out.
std::string WriteFormDefinition(TComponent* root);
