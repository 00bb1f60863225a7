#include "platform/signature.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "platform/output_file.h"
#include "platform/text.h"
#include "platform/win32/system_library.h"

namespace platform {

namespace {

// WinTrust and CryptoAPI's certificate half are not KnownDLLs: both come from the
// system folder by full path, on first use.
struct Trust {
  decltype(&::WinVerifyTrust) WinVerifyTrust = nullptr;
  decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain = nullptr;
  decltype(&::CertGetNameStringW) CertGetNameStringW = nullptr;
  bool loaded = false;

  Trust() {
    // CryptoAPI first: WinTrust imports it, and then finds it already loaded.
    const HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
    const HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
    loaded = BindProc(wintrust, "WinVerifyTrust", &WinVerifyTrust) &&
             BindProc(wintrust, "WTHelperProvDataFromStateData", &WTHelperProvDataFromStateData) &&
             BindProc(wintrust, "WTHelperGetProvSignerFromChain", &WTHelperGetProvSignerFromChain) &&
             BindProc(crypt32, "CertGetNameStringW", &CertGetNameStringW);
  }
};

// The subject common name of the certificate that signed, from the state the
// verification left.
std::u16string SignerName(const Trust& trust, HANDLE state) {
  CRYPT_PROVIDER_DATA* data = trust.WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer = data ? trust.WTHelperGetProvSignerFromChain(data, 0, FALSE, 0) : nullptr;
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
  PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
  char oid[] = szOID_COMMON_NAME;
  const DWORD chars = trust.CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
  if (chars <= 1) return {};
  std::wstring name(chars, L'\0');
  trust.CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, oid, &name[0], chars);
  return FromW(name.c_str(), chars - 1);
}

}  // namespace

bool FileSignedBy(HeldFile& file, const std::u16string& path, const std::u16string& signer) {
  static const Trust trust;
  if (!trust.loaded || signer.empty() || !file.IsOpen()) return false;
  WINTRUST_FILE_INFO info = {};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = W(path);
  info.hFile = reinterpret_cast<HANDLE>(file.NativeHandle());
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;  // no more than the system's policy asks
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG verdict = trust.WinVerifyTrust(noWindow, &action, &data);
  const bool named = verdict == ERROR_SUCCESS && SignerName(trust, data.hWVTStateData) == signer;
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  trust.WinVerifyTrust(noWindow, &action, &data);
  return named;
}

}  // namespace platform
