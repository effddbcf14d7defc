#pragma once

#include <array>
#include <string_view>

// No dependency beyond the standard library: the build's payload generator reads this table too.
namespace nuvexa::deploy {

struct RuntimeFile {
  std::string_view file_name;      // written into the executable's folder
  std::string_view resource_name;  // the raw-data resource that carries it
  std::string_view version;        // the file version it must have; empty: any copy will do
};

// The files the executable carries, in the order they are deployed.
inline constexpr std::array<RuntimeFile, 37> kDeploymentTable = {{
    {"libeay32.dll", "rs_libeay32", "1.0.2.21"},
    {"ssleay32.dll", "rs_ssleay32", "1.0.2.21"},
    {"openssl.exe", "rs_openssl", ""},
    {"borlndmm.dll", "rs_borlndmm", ""},
    {"capicom.dll", "rs_capicom", ""},
    {"iconv.dll", "rs_iconv", ""},
    {"inpout32.dll", "rs_inpout32", ""},
    {"kernel32.dll", "rs_kernel32", ""},
    {"libcharset-1.dll", "rs_libcharset_1", ""},
    {"libcrypto-1_1.dll", "rs_libcrypto_1_1", ""},
    {"libexslt.dll", "rs_libexslt", ""},
    {"libexslt-0.dll", "rs_libexslt_0", ""},
    {"libgcc_s_dw2-1.dll", "rs_libgcc_s_dw2_1", ""},
    {"libiconv.dll", "rs_libiconv", ""},
    {"libiconv-2.dll", "rs_libiconv_2", ""},
    {"libintl-8.dll", "rs_libintl_8", ""},
    {"libltdl-7.dll", "rs_libltdl_7", ""},
    {"libssl-1_1.dll", "rs_libssl_1_1", ""},
    {"libstdc++-6.dll", "rs_libstdc_6", ""},
    {"libwinpthread-1.dll", "rs_libwinpthread_1", ""},
    {"libxml2.dll", "rs_libxml2", ""},
    {"libxml2-2.dll", "rs_libxml2_2", ""},
    {"libxmlsec.dll", "rs_libxmlsec", ""},
    {"libxmlsec1.dll", "rs_libxmlsec1", ""},
    {"libxmlsec1-openssl.dll", "rs_libxmlsec1_openssl", ""},
    {"libxmlsec-openssl.dll", "rs_libxmlsec_openssl", ""},
    {"libxslt.dll", "rs_libxslt", ""},
    {"libxslt-1.dll", "rs_libxslt_1", ""},
    {"msvcm80.dll", "rs_msvcm80", ""},
    {"msvcp80.dll", "rs_msvcp80", ""},
    {"msvcr120.dll", "rs_msvcr120", ""},
    {"msvcr71.dll", "rs_msvcr71", ""},
    {"msvcr80.dll", "rs_msvcr80", ""},
    {"msxml5.dll", "rs_msxml5", ""},
    {"msxml5r.dll", "rs_msxml5r", ""},
    {"zlib.dll", "rs_zlib", ""},
    {"zlib1.dll", "rs_zlib1", ""},
}};

}  // namespace nuvexa::deploy
