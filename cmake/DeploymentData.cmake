# Build-time script: turns the payload private key (PEM) into the raw
# big-endian n, e, d bytes the program carries, and embeds an optional extra
# CA certificate file (PEM text) trusted for the service, and the Ed25519
# public key service answers are signed with: the one named by ANSWER_PUBKEY,
# or else the public half of the development signing key ANSWER_DEVKEY.
#
#   cmake -DKEY=private.pem -DCA=ca.pem|"" -DANSWER_PUBKEY=public.pem|"" -DANSWER_DEVKEY=signing.pem
#         -DOPENSSL=/usr/bin/openssl -DOUT=file.cpp -P DeploymentData.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OPENSSL} rsa -in ${KEY} -noout -text
  OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read the payload key ${KEY}: ${err}")
endif()

# Collects the hex digits of one field of `openssl rsa -text` ("modulus:",
# "privateExponent:") into a C array initializer of exactly `width` bytes.
function(key_field name width out)
  string(FIND "${text}" "\n${name}:" start)
  if(start LESS 0)
    message(FATAL_ERROR "field ${name} missing in ${KEY}")
  endif()
  string(SUBSTRING "${text}" ${start} -1 rest)
  string(LENGTH "\n${name}:" skip)
  string(SUBSTRING "${rest}" ${skip} -1 rest)
  # The field ends where the next unindented line starts.
  string(REGEX MATCH "^(\n[ \t]+[0-9a-f:]+)+" block "${rest}")
  string(REGEX REPLACE "[^0-9a-f]" "" hex "${block}")
  string(LENGTH "${hex}" len)
  math(EXPR bytes "${len} / 2")
  # Drop the sign byte openssl prints, pad on the left to the full width.
  while(bytes GREATER width AND hex MATCHES "^00")
    string(SUBSTRING "${hex}" 2 -1 hex)
    math(EXPR bytes "${bytes} - 1")
  endwhile()
  if(bytes GREATER width)
    message(FATAL_ERROR "${name} of ${KEY} is longer than ${width} bytes: not a 1024-bit key")
  endif()
  while(bytes LESS width)
    string(PREPEND hex "00")
    math(EXPR bytes "${bytes} + 1")
  endwhile()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," arr "${hex}")
  set(${out} "${arr}" PARENT_SCOPE)
endfunction()

key_field(modulus 128 n)
key_field(privateExponent 128 d)
if(NOT text MATCHES "publicExponent: 65537 ")
  message(FATAL_ERROR "the payload key ${KEY} must use the public exponent 65537")
endif()

if(ANSWER_PUBKEY)
  set(answer_args pkey -pubin -in ${ANSWER_PUBKEY} -pubout)
  set(answer_file ${ANSWER_PUBKEY})
else()
  set(answer_args pkey -in ${ANSWER_DEVKEY} -pubout)
  set(answer_file ${ANSWER_DEVKEY})
endif()
execute_process(COMMAND ${OPENSSL} ${answer_args}
  OUTPUT_VARIABLE answer_pem RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read the answer key ${answer_file}: ${err}")
endif()
string(LENGTH "${answer_pem}" answer_len)
# An Ed25519 public key in PEM is always this long (44 bytes of DER).
if(NOT answer_pem MATCHES "^-----BEGIN PUBLIC KEY-----\nMCowBQYDK2VwAyEA" OR NOT answer_len EQUAL 113)
  message(FATAL_ERROR "the answer key ${answer_file} is not an Ed25519 key")
endif()

set(ca_text "")
if(CA)
  file(READ ${CA} ca_text)
endif()

set(content "// Generated at build time from the deployment's payload key and CA file.
#include \"engine/DeploymentData.h\"

namespace deployment {
const unsigned char kPayloadModulus[128] = {${n}};
const unsigned char kPayloadPublicExponent[3] = {0x01,0x00,0x01};
const unsigned char kPayloadPrivateExponent[128] = {${d}};
const char kAnswerPublicKeyPem[] = R\"quellanpem(${answer_pem})quellanpem\";
const char kExtraCaPem[] = R\"quellanpem(${ca_text})quellanpem\";
}
")
# Rewrite only on change so that dependants are not rebuilt needlessly.
if(EXISTS ${OUT})
  file(READ ${OUT} old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE ${OUT} "${content}")
