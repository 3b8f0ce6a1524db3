#pragma once
// Drive information for the drive page (type, access, sizes, serial number,
// label, readiness) and the format options offered for a drive of a given
// capacity: file systems, allocation unit sizes and their defaults. Every
// system query here runs with critical-error boxes suppressed.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class TMainForm;

// What GetDriveInfo learns about one drive; all empty or 0 when not ready.
struct TViewDriveParams {
  char Drive = 0;
  std::string DriveType;    // "Removable", "Fixed", "Network", "CDROM", "RAM", "Unknown"
  std::string Access;       // "R/O" or "R/W"; empty when not ready
  int64_t TotalSize = 0;
  int64_t FreeSize = 0;
  uint32_t SerialNumber = 0;
  std::string VolumeLabel;
  bool Ready = false;
};

// True when the system reports a size for the drive (its media can be read).
bool IsDriveReady(char drive);
// True when nothing can be written to the drive's root: a read-only volume, a
// temporary file that cannot be made there, or one that cannot be removed
// again. The probe file never stays behind. A letter outside A..Z raises
// Exception "Invalid drive specification".
bool IsDriveReadOnly(char drive);
// The text of a system drive type: 2 "Removable" .. 6 "RAM", else "Unknown".
std::string DriveTypeToString(unsigned driveType);
// Fills params for drive (upper or lower case); never fails.
void GetDriveInfo(char drive, TViewDriveParams& params);
// The size in bytes with thousands separators; "not available" (translated) below 0.
std::string FormatDriveSpace(int64_t size);
// The size in bytes of the volume the engine writes for a whole-drive wipe
// (the device \\.\X:): its length query, else the size of the opened device;
// -1 when the device cannot be opened or answers neither (no rights, no
// device behind the letter).
int64_t VolumeSize(char drive);
// The drive's total size in bytes: the volume's own (VolumeSize) where it
// answers, else the file system's; -1 when the file system's size cannot be
// read (no media).
int64_t DriveSize(char drive);
// The size query of the format page (DriveSize); tests put one that reports
// sizes no test drive has.
using TDriveSizeQuery = int64_t (*)(char drive);
extern TDriveSizeQuery DriveSizeQuery;

// The drives of the latest scan (FillDrivesList) by letter; null for a letter
// that was not present then.
const TViewDriveParams* ScannedDrive(char drive);
// Forgets the latest scan, as before the drive page was first shown.
void ForgetDriveScan();
// True when the latest scan found drive present but without media, so it
// cannot be chosen.
bool DriveWithoutMedia(char drive);
// The query the Start check re-reads a drive with (GetDriveInfo); tests put
// one that reports another medium in its place.
using TDriveInfoQuery = void (*)(char drive, TViewDriveParams& params);
extern TDriveInfoQuery DriveInfoQuery;
// Why the chosen drive may no longer be wiped ("" when it may): the medium
// under its letter is not the one the drive page listed (another size,
// serial number or label, or none), or no scan of the drive page lists it.
std::string MediumChangedRefusal(char drive);
// True when the two scans describe the same medium (ready, same serial number,
// size and label), so a choice made on the first still holds.
bool SameMedium(const TViewDriveParams& a, const TViewDriveParams& b);

// The file systems offered for a capacity in bytes (negative: unknown).
std::vector<std::string> FileSystemsFor(int64_t capacity);
// How many allocation unit sizes (512 bytes doubling) a file system offers:
// "FAT" 8, "FAT32" 6, anything else 4.
int AllocUnitCountFor(const std::string& fileSystem);
// The default allocation unit in bytes for the file system and capacity; 0
// when the capacity lies outside every range.
int64_t DefaultAllocUnit(const std::string& fileSystem, int64_t capacity);
// The list text of an allocation unit: "512 bytes", "1 KB" .. "64 KB".
std::string AllocUnitText(int64_t bytes);
// Letter of the drive holding the Windows folder / this program; 0 when unknown.
char SystemDriveLetter();
char ProgramDriveLetter();

// Why formatting a drive of capacity bytes with this file system, allocation
// unit (bytes; 0 none) and label cannot be done here ("" when it can): no
// file system, one this system cannot create (NTFS without the system's
// formatting service), a FAT or FAT32 cluster count out of range for the
// unit, a label that does not fit.
std::string FormatRefusal(const std::string& fileSystem, int64_t capacity, int64_t unitBytes,
                          const std::string& label);
// The system's formatting library (fmifs.dll), loaded by its full path in the
// system folder; null where there is none. The caller frees it.
HMODULE LoadSystemFormatLibrary();
// True when the system's formatting service, which NTFS needs, exists.
bool SystemFormatServiceAvailable();
// True for a label FAT can hold: at most 11 characters, none of " * + , . / : ; < = > ? [ \ ] |.
bool FitsFatLabel(const std::string& label);

// The drive page and the format page of the main form.
// Lists the present drives (caption, type, total space, status).
void FillDrivesList(TMainForm* form);
// Rescan: lists the drives again (through the wizard's link) and keeps the chosen drive only when the same
// medium is still ready under its letter; otherwise the choice is cleared.
void RescanDrives(TMainForm* form);
// The format page's refresh: drive text, capacity, file systems, the drive's
// own file system and label for a new drive, allocation units, FormatValid,
// and the options shown only while formatting is wanted.
void RefreshFormatPage(TMainForm* form);
// The file system drive holds now ("NTFS"); "" when it cannot be read.
std::string DriveFileSystem(char drive);
// The format page's note when formatting changes the drive's file system
// because this system cannot create the one it has (no formatting service):
// "" when the chosen one is the current one, or the current one can be made.
std::string FileSystemChangeNote(const std::string& current, const std::string& chosen, bool serviceAvailable);
// Shows that note in place of the page's note on keeping the drive's parameters.
void ShowFileSystemChange(TMainForm* form, const std::string& note);
// The file-system list for DriveCapacity, keeping the chosen one when offered.
void PrepairFileSystems(TMainForm* form);
// The allocation-unit list of the chosen file system with its default
// selected; the compression option only for NTFS; FormatValid.
void CheckFormatSettings(TMainForm* form);
// FormatValid for the page's current choice, with the reason shown on the
// page when formatting is wanted and the choice cannot work.
void ValidateFormatChoice(TMainForm* form);
