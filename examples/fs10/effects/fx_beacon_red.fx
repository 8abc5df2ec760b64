[Library Effect]
Lifetime=5
Display Name=fx_beacon_red
