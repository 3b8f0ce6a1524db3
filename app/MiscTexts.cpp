// The texts of section "Misc": each key the program looks up, with its
// English text. One definition, so that a language file can be checked
// against exactly the keys the program uses.
#include "MiscTexts.h"

#include <cassert>
#include <cstring>

#include "Language.h"

namespace {

const TMiscText kTexts[] = {
    {"strActionCancelled", "Action cancelled"},
    {"strBuild", "Build"},
    {"strConfirmAppExit", "Are you sure you want to exit application?"},
    {"strConfirmation", "Confirmation"},
    {"strConfirmStopAndExit", "A wipe is running. Stop it and exit the application?"},
    {"strDriveNotScanned",
     "Drive %s: was chosen without being read on the drive page. Nothing was wiped; choose the drive again."},
    {"strDriveHoldsNoFileSystem", "The drive now holds no file system; format it before using it again"},
    {"strDriveSuccessfulyWiped", "Drive successfully wiped"},
    {"strEngineNotLoaded", "The wipe engine Quorvanell.DLL could not be loaded."},
    {"strEngineLacksFileTask",
     "The wipe engine Quorvanell.DLL lacks the call the file task needs (FileWipeListed), so no files were wiped."},
    {"strEngineNotStarted", "The wipe engine could not start:"},
    {"strFilesSuccessfulyWiped", "Files successfully wiped"},
    {"strFolder", "Folder"},
    {"strFormatFailed", "Formatting failed:"},
    {"strFormatFat32TooFewClusters",
     "FAT32 with an allocation unit of %s gives too few clusters on this drive: choose a "
     "smaller allocation unit or FAT."},
    {"strFormatFat32TooManyClusters",
     "FAT32 with an allocation unit of %s gives too many clusters on this drive: choose a "
     "larger allocation unit."},
    {"strFormatFatNoLayout",
     "FAT cannot be laid out on this drive with an allocation unit of %s: choose another "
     "allocation unit."},
    {"strFormatFatTooManyClusters",
     "FAT with an allocation unit of %s gives too many clusters on this drive: choose a "
     "larger allocation unit or FAT32."},
    {"strFormatFileSystemChanges",
     "ATTENTION: The disk will not be usable after wiping unless you format it. It now holds %s, "
     "which cannot be created on this system (its formatting service is missing): it will be "
     "formatted as %s."},
    {"strFormatLabelNotFat",
     "The volume label does not fit FAT: at most 11 characters and none of \" * + , . / : ; < "
     "= > ? [ \\ ] |."},
    {"strFormatLabelTooLong", "The volume label is longer than 32 characters."},
    {"strFormatNoCapacity", "The size of the drive cannot be read."},
    {"strFormatNoDefaultUnit",
     "%s cannot be laid out on a drive of this size: choose another file system, or uncheck \"Format drive after "
     "wipe\"."},
    {"strChangedNotWiped", "changed or replaced after the confirm step, not wiped"},
    {"strFolderNotListed",
     "The wipe library cannot keep to the confirmed items, so this folder, which may hold others by now, was not "
     "wiped:"},
    {"strFormatNoFileSystem", "Choose a file system."},
    {"strFormatNoService", "%s cannot be created on this system: its formatting service is missing."},
    {"strFormatNoUnit", "Choose an allocation unit size."},
    {"strFormatTooLargeForFat", "The drive is too large for FAT."},
    {"strFreeSpaceSucessfullyCleaned", "Free space successfully cleaned"},
    {"strItemsNotWiped", "Items that could not be wiped:"},
    {"strLabelDoesNotFit",
     "The volume label does not fit the chosen file system (FAT labels hold at most 11 "
     "characters and none of \" * + , . / : ; < = > ? [ \\ ] |)."},
    {"strListedGone", "Listed, but moved or deleted by another program after the confirm step, not wiped:"},
    {"strListedNotLookedUp", "Listed, but not reached by the run, and it cannot be looked up now (%s), not wiped:"},
    {"strListedChanged", ": changed or replaced after the confirm step, not wiped"},
    {"strListedNotReached", "Listed, but not reached by the run, not wiped:"},
    {"strMediumChanged",
     "The medium in drive %s: is not the one chosen (its size, serial number or label "
     "changed). Nothing was wiped; choose the drive again."},
    {"strNeededNotWiped", "Ticked, but needed by the system or by Quorvanell, not wiped:"},
    {"strNoAlgorithm", "No wipe algorithm is selected."},
    {"strNoDrive", "No drive is selected."},
    {"strNoPasses", "The selected wipe algorithm has no passes, so it cannot wipe anything: choose another one."},
    {"strNomedia", "No media"},
    {"strNotAvailable", "not available"},
    {"strNotThereNotWiped", "Ticked, but not there, not wiped:"},
    {"strPathTooLong", "Path too long, not wiped:"},
    {"strProgramDriveRefused", "This drive holds Quorvanell itself and cannot be wiped."},
    {"strReady", "Ready"},
    {"strSettingsNotSaved",
     "These settings could not be saved; at the next start they will be as they were before:"},
    {"strSystemDriveRefused", "This drive holds Windows and cannot be wiped."},
    {"strThroughLinkNotWiped", "Ticked, but reached through a link, not wiped:"},
    {"strTicksNeeded", "Ticked, but needed by the system or by Quorvanell, so not wiped (%s):"},
    {"strTicksNotThere", "Ticked, but not there, so not wiped (%s):"},
    {"strTicksThroughLink", "Ticked, but reached through a link, so not wiped (%s):"},
    {"strTicksUnreadable", "Ticked, but not readable in full, so not wiped (%s):"},
    {"strTooManyPasses", "The selected wipe algorithm has more than 100 passes."},
    {"strUnreadableNotWiped", "Ticked, but not readable in full, not wiped:"},
    {"strUtilsExecuteProgramError", "Unable to execute external program %s."},
    {"strVer", "v."},
};

}  // namespace

const TMiscText* MiscTexts(size_t& count) {
  count = sizeof(kTexts) / sizeof(kTexts[0]);
  return kTexts;
}

std::string MiscText(const char* key) {
  for (const TMiscText& text : kTexts) {
    if (std::strcmp(text.key, key) == 0) return LangString(text.english, key);
  }
  assert(!"MiscText: a key missing from the table of texts");
  return LangString("", key);
}
