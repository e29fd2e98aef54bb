; Counts on port B: the smallest useful program, with a gap and a table.
        list    p=16f84a
        #include <p16f84a.inc>
        __CONFIG _CP_OFF & _WDT_OFF & _PWRTE_ON & _XT_OSC

        org     0x000
        goto    start

        org     0x010
start   bsf     STATUS, RP0
        clrf    TRISB ^ 0x80
        bcf     STATUS, RP0
loop    incf    PORTB, f
        goto    loop

        org     0x120
table   addwf   PCL, f
        retlw   0x55
        retlw   0xAA
        end
