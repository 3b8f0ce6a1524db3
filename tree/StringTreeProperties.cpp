// Published properties of the string tree and its options.
#include "tree/VirtualTrees.h"

#include "win/ClassInfo.h"

namespace {

const TEnumNames kStringOptionNames{"toSaveCaptions", "toShowStaticText", "toAutoAcceptEditChange"};

const TClassRegistrar<TCustomStringTreeOptions, TCustomVirtualTreeOptions> kStringOptionsRegistrar(
    "TCustomStringTreeOptions", {
                                    SetOfProp("StringOptions", &TCustomStringTreeOptions::StringOptions,
                                              &TCustomStringTreeOptions::SetStringOptions, kStringOptionNames),
                                });

const TClassRegistrar<TStringTreeOptions, TCustomStringTreeOptions> kStringTreeOptionsRegistrar("TStringTreeOptions",
                                                                                                 {});

const TClassRegistrar<TCustomVirtualStringTree, TBaseVirtualTree> kCustomStringTreeRegistrar(
    "TCustomVirtualStringTree", {
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
