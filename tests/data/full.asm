; Fills all of program memory: every word is sent, none skipped.
        list    p=16f84a
        #include <p16f84a.inc>
        __CONFIG _CP_OFF & _WDT_OFF & _PWRTE_ON & _RC_OSC

        org     0x000
        fill    (addlw 0x5A), 0x200
        fill    (goto 0x155), 0x200
        end
