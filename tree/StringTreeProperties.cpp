// Published properties of the string tree and its options.
#include "tree/VirtualTrees.h"

#include "win/ClassInfo.h"
#include "win/FormReader.h"

namespace {

const TEnumNames kStringOptionNames{"toSaveCaptions", "toShowStaticText", "toAutoAcceptEditChange"};

const TClassRegistrar<TCustomStringTreeOptions, TCustomVirtualTreeOptions> kStringOptionsRegistrar(
    "TCustomStringTreeOptions", {
                                    SetOfProp("StringOptions", &TCustomStringTreeOptions::StringOptions,
                                              &TCustomStringTreeOptions::SetStringOptions, kStringOptionNames),
                                });

const TClassRegistrar<TStringTreeOptions, TCustomStringTreeOptions> kStringTreeOptionsRegistrar("TStringTreeOptions",
                                                                                                 {});

// The string options of older definitions, by their old ordinals.
const TEnumNames kOldStringOptionNames{"soSaveCaptions", "soShowStaticText"};

// Reads "StringOptions" of an older definition: the string options are
// emptied, then old ordinal 0 adds toSaveCaptions and 1 toShowStaticText.
void ReadOldStringOptions(TCustomVirtualStringTree* tree, const TFormValue& value) {
  if (value.kind != TFormValue::vkSet) return;
  auto* options = dynamic_cast<TCustomStringTreeOptions*>(tree->TreeOptions());
  if (options == nullptr) return;
  TVTStringOptions result;
  for (const std::string& name : value.names) {
    int old = EnumOrdinal(kOldStringOptionNames, name);
    if (old == 0) result.Include(toSaveCaptions);
    if (old == 1) result.Include(toShowStaticText);
  }
  options->SetStringOptions(result);
}

const TClassRegistrar<TCustomVirtualStringTree, TBaseVirtualTree> kCustomStringTreeRegistrar(
    "TCustomVirtualStringTree", {
                                    DefinedProp<TCustomVirtualStringTree>("StringOptions", &ReadOldStringOptions),
                                    Prop("WideDefaultText", &TCustomVirtualStringTree::DefaultText,
                                         &TCustomVirtualStringTree::SetDefaultText),
                                    EventProp("OnGetText", &TCustomVirtualStringTree::OnGetText),
                                    EventProp("OnPaintText", &TCustomVirtualStringTree::OnPaintText),
                                    EventProp("OnGetHint", &TCustomVirtualStringTree::OnGetHint),
                                    EventProp("OnNewText", &TCustomVirtualStringTree::OnNewText),
                                    EventProp("OnShortenString", &TCustomVirtualStringTree::OnShortenString),
                                });

const TClassRegistrar<TVirtualStringTree, TCustomVirtualStringTree> kStringTreeRegistrar("TVirtualStringTree", {});

}  // namespace

void LinkStringTreeProperties() {}
