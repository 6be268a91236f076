#pragma once

// The custom actions of the web-server product's installer package. The
// installer engine calls them by name; every one returns a Windows Installer
// result (0, 1602, 1603) except the two queries, which answer 1 or 0.
#include <windows.h>
#include <msi.h>

extern "C" {

// Banners in the setup log.
UINT __stdcall InstallStarted(MSIHANDLE session);
UINT __stdcall UnInstallStarted(MSIHANDLE session);

// Web server and its filter.
UINT __stdcall StopW3SVC(MSIHANDLE session);
UINT __stdcall StartW3SVC(MSIHANDLE session);
UINT __stdcall StartW3Progress(MSIHANDLE session);
UINT __stdcall InsertFilter(MSIHANDLE session, LPCWSTR systemFolder);
UINT __stdcall RemoveFilter(MSIHANDLE session, LPCWSTR systemFolder);
UINT __stdcall FilterExists(MSIHANDLE unused);
UINT __stdcall ReplaceFilterPath(LPCWSTR systemFolder);

// The product's update program and the management console.
UINT __stdcall KillVuroUpdate(MSIHANDLE unused);
UINT __stdcall StartVuroUpdate(MSIHANDLE session);
UINT __stdcall CheckMMC(MSIHANDLE unused);

// An older installation, the snap-in, files the package does not track.
UINT __stdcall CheckPrevVersion(MSIHANDLE session);
UINT __stdcall DeletePrevFiles(MSIHANDLE session);
UINT __stdcall DeletePrevRegEntries(MSIHANDLE unused);
UINT __stdcall DeleteInstallFiles(MSIHANDLE session);
UINT __stdcall DeleteAllForUninstall(MSIHANDLE session);
UINT __stdcall InstallSnapin(MSIHANDLE session, LPCSTR systemFolder);
UINT __stdcall UninstallSnapin(MSIHANDLE session);

}  // extern "C"
