; The whole chip: every program word, the configuration word and all 64
; EEPROM bytes, as an assembler lays them out (de data at 0x2100).
        list    p=16f84a
        #include <p16f84a.inc>
        __CONFIG _CP_OFF & _WDT_OFF & _PWRTE_ON & _XT_OSC

        org     0x000
        fill    (addlw 0x33), 0x300
        fill    (goto 0x123), 0x100

        org     0x2100
        variable i = 0
        while i < 0x40
        de      (i * 7 + 3) & 0xFF
i += 1
        endw
        end
