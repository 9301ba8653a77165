// The component's own message table: what each of its numbers means, in words a user can act
// on, in German and English. Texts with a conversion (%s, %d) receive the file, folder or disk
// number that goes with the message.
#include <string>

#include "zip/ziparchiver.h"

namespace pz::zipmsg {

namespace {

struct Entry {
  int number;
  const char* german;
  const char* english;
};

constexpr Entry kTable[] = {
    {kZipException, "Das Packen ist unerwartet gescheitert.", "Packing failed unexpectedly."},
    {kNoArchive, "Das Archiv fehlt oder es wurde keines angegeben.",
     "The archive is missing, or none was named."},
    {kOutOfMemory, "Der Arbeitsspeicher reicht nicht, um das Archiv zu lesen.",
     "There is not enough memory to read the archive."},
    {kCopying, "Kopiere: ", "Copying: "},
    {kSeekFailed,
     "Das Inhaltsverzeichnis des Archivs ist beschädigt: es verweist über das Dateiende hinaus.",
     "The archive's directory is damaged: it points past the end of the file."},
    {kDirReadFailed, "Das Inhaltsverzeichnis des Archivs kann nicht gelesen werden.",
     "The archive's directory cannot be read."},
    {kDirMismatch,
     "Das Inhaltsverzeichnis des Archivs steht nicht dort, wo das Archiv angibt (Daten vor dem "
     "Archiv?).",
     "The archive's directory is not where the archive says (data in front of the archive?)."},
    {kDataAfterEnd, "Hinter dem Ende des Archivs folgen weitere Daten.",
     "More data follows the end of the archive."},
    {kNothingToAdd, "Es wurde keine Datei zum Packen angegeben.", "No file was named to pack."},
    {kNoPassword, "Verschlüsseln wurde verlangt, aber kein Passwort angegeben.",
     "Encryption was asked for, but no password was given."},
    {kSpanFreshen,
     "Ein Archiv kann nicht zugleich aufgefrischt und auf mehrere Datenträger verteilt werden.",
     "An archive cannot be freshened and spread over several disks at once."},
    {kUnzipException, "Das Entpacken ist unerwartet gescheitert.",
     "Unpacking failed unexpectedly."},
    {kPasswordPlaceholder,
     "Das Archiv ist verschlüsselt, aber es wurde kein Passwort angegeben; verschlüsselte Dateien "
     "werden nicht entpackt.",
     "The archive is encrypted but no password was given; encrypted files are not unpacked."},
    {kNoTargetFolder, "Der Ordner zum Entpacken kann nicht verwendet werden: ",
     "The folder to unpack into cannot be used: "},
    {kZipLoaded, "Das Packmodul ZIPENG.DLL wurde geladen.",
     "The packing module ZIPENG.DLL was loaded."},
    {kZipNoExec,
     "Das Packmodul ZIPENG.DLL ist unbrauchbar: ihm fehlt \"ZipEngExec\". Bitte das Programm neu "
     "installieren.",
     "The packing module ZIPENG.DLL is unusable: it lacks \"ZipEngExec\". Please reinstall the "
     "program."},
    {kZipNoVersion,
     "Das Packmodul ZIPENG.DLL ist unbrauchbar: ihm fehlt \"GetZipEngVersion\". Bitte das Programm "
     "neu installieren.",
     "The packing module ZIPENG.DLL is unusable: it lacks \"GetZipEngVersion\". Please reinstall "
     "the program."},
    {kZipNotLoaded,
     "Das Packmodul ZIPENG.DLL kann nicht geladen werden (Ordner \"dll_parzello\" beim Programm). "
     "Bitte das Programm neu installieren.",
     "The packing module ZIPENG.DLL cannot be loaded (folder \"dll_parzello\" beside the program). "
     "Please reinstall the program."},
    {kUnzipLoaded, "Das Entpackmodul UNZENG.DLL wurde geladen.",
     "The unpacking module UNZENG.DLL was loaded."},
    {kUnzipNoExec,
     "Das Entpackmodul UNZENG.DLL ist unbrauchbar: ihm fehlt \"UnzEngExec\". Bitte das Programm "
     "neu installieren.",
     "The unpacking module UNZENG.DLL is unusable: it lacks \"UnzEngExec\". Please reinstall the "
     "program."},
    {kUnzipNoVersion,
     "Das Entpackmodul UNZENG.DLL ist unbrauchbar: ihm fehlt \"GetUnzEngVersion\". Bitte das "
     "Programm neu installieren.",
     "The unpacking module UNZENG.DLL is unusable: it lacks \"GetUnzEngVersion\". Please reinstall "
     "the program."},
    {kUnzipNotLoaded,
     "Das Entpackmodul UNZENG.DLL kann nicht geladen werden (Ordner \"dll_parzello\" beim "
     "Programm). Bitte das Programm neu installieren.",
     "The unpacking module UNZENG.DLL cannot be loaded (folder \"dll_parzello\" beside the "
     "program). Please reinstall the program."},
    {kSfxTextsTooLong,
     "Titel, Zielordner und Befehl des selbstentpackenden Archivs sind zusammen zu lang (höchstens "
     "249 Zeichen).",
     "Caption, folder and command of the self-extracting archive are too long together (249 "
     "characters at most)."},
    {kSfxNoStub, "Das Programm für selbstentpackende Archive (PzxSfx.bin) wurde nicht gefunden.",
     "The program for self-extracting archives (PzxSfx.bin) was not found."},
    {kSfxNotZip, "Nur eine Datei mit der Endung .zip kann selbstentpackend gemacht werden.",
     "Only a file ending in .zip can be made self-extracting."},
    {kOpenFailed, "Das Archiv %s kann nicht geöffnet werden.", "The archive %s cannot be opened."},
    {kOpenFailedReport, "Das Archiv kann nicht geöffnet werden.", "The archive cannot be opened."},
    {kBadDrive, "Das Laufwerk %s gibt es nicht.", "There is no drive %s."},
    {kDriveAbsent, "Der Ordner %s des Archivs kann nicht verwendet werden.",
     "The archive's folder %s cannot be used."},
    {kCancelled, "Abgebrochen.", "Cancelled."},
    {kEndSeek, "Das Ende des Archivs kann nicht gelesen werden.",
     "The end of the archive cannot be read."},
    {kCopyWriteFailed, "Die Kopie des Archivs kann nicht geschrieben werden (Datenträger voll?).",
     "The copy of the archive cannot be written (disk full?)."},
    {kEndRead, "Das Ende des Archivs kann nicht gelesen werden.",
     "The end of the archive cannot be read."},
    {kCopyReadFailed, "Das Archiv kann zum Kopieren nicht gelesen werden.",
     "The archive cannot be read for copying."},
    {kDirOnNextDisk, "Das Inhaltsverzeichnis des Archivs ist unvollständig.",
     "The archive's directory is incomplete."},
    {kCentralSig, "Das Inhaltsverzeichnis des Archivs ist beschädigt.",
     "The archive's directory is damaged."},
    {kNameRead,
     "Das Inhaltsverzeichnis des Archivs ist beschädigt: ein Dateiname ist abgeschnitten.",
     "The archive's directory is damaged: a file name is cut off."},
    {kCommentRead,
     "Das Inhaltsverzeichnis des Archivs ist beschädigt: ein Dateikommentar ist abgeschnitten.",
     "The archive's directory is damaged: a file comment is cut off."},
    {kUnattendedPrompt,
     "Ein weiterer Datenträger des Archivs wird gebraucht, aber es kann niemand gefragt werden.",
     "Another disk of the archive is needed, but nobody can be asked for it."},
    {kNotEnoughSpace, "Auf diesem Datenträger ist nicht genug Platz frei.",
     "This disk has not enough free space available"},
    {kInsertLast, "Bitte den letzten Datenträger des Satzes einlegen",
     "Please insert last disk in set"},
    {kInsertVolumeOf, "Bitte Datenträger %.1d von %.1d einlegen",
     "Please insert disk volume %.1d of %.1d"},
    {kInDrive, "\r\nin Laufwerk: %s", "\r\nin drive: %s"},
    {kNotSpannedStart, "Diese Datei ist kein ZIP-Archiv, oder ihr Ende fehlt.",
     "This file is not a ZIP archive, or its end is missing."},
    {kDiskOne,
     "Dies ist der erste Datenträger eines Satzes; bitte den letzten Datenträger einlegen.",
     "This is the first disk of a set; please insert the last disk."},
    {kLabelDisk, "Dies ist Datenträger %d eines Satzes; bitte den letzten Datenträger einlegen.",
     "This is disk %d of a set; please insert the last disk."},
    {kOverwriteFile, "Vorhandene Datei %s überschreiben", "Overwrite previous file %s"},
    {kOverwriteDisk, "Vorherigen Datenträger Nr. %d überschreiben",
     "Overwrite previous disk no %d"},
    {kSpanExe, "Ein selbstentpackendes Archiv kann nicht auf mehrere Datenträger verteilt werden.",
     "A self-extracting archive cannot be spread over several disks."},
    {kNotArchive, "Das Ende des Archivs fehlt: die Datei ist kein ZIP-Archiv oder unvollständig.",
     "The end of the archive is missing: the file is not a ZIP archive or it is incomplete."},
    {kInsertVolume, "Bitte Datenträger %.1d einlegen", "Please insert disk volume %.1d"},
    {kFormatUnavailable, "Das Formatieren von Datenträgern gibt es auf diesem System nicht.",
     "Formatting disks is not available on this platform"},
};

}  // namespace

std::string Text(int number, const std::string& codeLetter) {
  const bool german = codeLetter == "D" || codeLetter == "d";
  for (const Entry& e : kTable)
    if (e.number == number) return german ? e.german : e.english;
  return "";
}

}  // namespace pz::zipmsg
