# Fixed values of the build. The two addresses can be overridden at run time
# through ZIRV_BACKEND_URL and ZIRV_B2_AUTH_URL (see app/core/BuildValues.h).
set(ZIRV_BUILD_NUMBER "1" CACHE STRING "Build number shown beside the version")
set(ZIRV_BACKEND_URL "http://127.0.0.1:8780" CACHE STRING "Backend base address (the reference backend on loopback by default)")
set(ZIRV_B2_AUTH_URL "https://api.backblazeb2.com" CACHE STRING "B2 account-authorisation origin")
set(ZIRV_B2_KEY_ID "5e0b1f9c8d4a" CACHE STRING "B2 application key id (also the account id)")
set(ZIRV_B2_APPLICATION_KEY "00b7e5d1c9f3a0b6e2d8c4f1a7e3b9d5c0f6a2e8b4" CACHE STRING "B2 application key")
set(ZIRV_APPLICATION_SECRET "kW7#pQ2!vLm9&Xz4@tYb8^Nc3*Hd6(Ej1)Fg5_Rs0+Ua2Mo" CACHE STRING "Shared application secret sent with log-in and account creation")
set(ZIRV_APP_GROUP_ID "group.zirv2.shared" CACHE STRING "Application-group identifier")
set(ZIRV_BUCKET_AUDIO "vedidi2rodar" CACHE STRING "Bucket for audio")
set(ZIRV_BUCKET_VIDEO "vevevo2duver" CACHE STRING "Bucket for video")
set(ZIRV_BUCKET_CHOREOGRAPHY "vezuri2davodorozada" CACHE STRING "Bucket for choreography notes")
configure_file(${CMAKE_SOURCE_DIR}/app/core/BuildValues.h.in ${CMAKE_BINARY_DIR}/generated/BuildValues.h @ONLY)
