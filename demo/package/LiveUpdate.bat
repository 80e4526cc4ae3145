echo Pluvion was configured by the live update>configured.txt
mkdir cache
echo 14 C, light rain>cache\last-forecast.txt
