// The current user's Internet-zone policies for ActiveX controls: the installed component only
// works when pages may run ActiveX controls and script the ones marked safe.
#pragma once

// Whether policy "1200" (run ActiveX controls and plug-ins) allows or asks: REG_DWORD 0 or 1.
bool ActiveXRunAllowed();
// The same for policy "1405" (script ActiveX controls marked safe for scripting).
bool ActiveXScriptingAllowed();
// Sets both policies to allow; true when both were written.
bool EnableActiveXZoneSettings();

// Offers to allow both when either is not acceptable, and on Yes sets them. Never ends the run.
void RunZoneSettingsStage();
